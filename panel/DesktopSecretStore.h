#pragma once

#include <SecretStore.h>

#include <memory>

class QCoreApplication;

namespace quorvane {

/// The desktop's secret store through QtKeychain: the Secret Service (GNOME Keyring, KWallet)
/// on Linux, the login Keychain on macOS. Never falls back to a plain file. Each call waits
/// for the store's answer in an event loop of its own, on the thread it is made on.
class DesktopSecretStore : public SecretStore {
public:
    DesktopSecretStore();
    ~DesktopSecretStore() override;

    std::optional<std::string> read() override;
    bool write(const std::string& secret, std::string* problem) override;
    bool remove() override;

private:
    /// The command line runs without a Qt application; the store's D-Bus calls need one.
    void ensureApplication();
    std::unique_ptr<QCoreApplication> application_;
};

}  // namespace quorvane
