#pragma once

#include <SecretStore.h>

#include <functional>
#include <memory>
#include <mutex>

class QCoreApplication;
class QObject;
class QThread;

namespace quorvane {

/// The desktop's secret store through QtKeychain: the Secret Service (GNOME Keyring, KWallet)
/// on Linux, the login Keychain on macOS. Never falls back to a plain file. Callable from any
/// thread: the store's calls all run on one thread of its own, which the library needs (its
/// Secret Service connection belongs to the thread that made it), and the caller waits.
class DesktopSecretStore : public SecretStore {
public:
    DesktopSecretStore();
    ~DesktopSecretStore() override;
    DesktopSecretStore(const DesktopSecretStore&) = delete;
    DesktopSecretStore& operator=(const DesktopSecretStore&) = delete;

    std::optional<std::string> read() override;
    bool write(const std::string& secret, std::string* problem) override;
    bool remove() override;

private:
    /// Runs `call` on the store's thread, started on first use, and waits for it.
    void onStoreThread(const std::function<void()>& call);

    std::mutex mutex_;
    /// The command line runs without a Qt application; the store's D-Bus calls need one.
    std::unique_ptr<QCoreApplication> application_;
    std::unique_ptr<QThread> thread_;
    std::unique_ptr<QObject> inThread_;  // lives in thread_, receives the calls
};

}  // namespace quorvane
