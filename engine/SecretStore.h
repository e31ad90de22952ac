#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "WorkflowResult.h"

namespace quorvane {

/// The desktop's store of secrets (Secret Service on Linux, the Keychain on macOS), seen by
/// the engine through this one slot so that the engine needs no toolkit. It holds the logon
/// password of a user who asked for it to be kept, and nothing otherwise.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    /// The kept text; nothing when none is kept or the store cannot be reached.
    virtual std::optional<std::string> read() = 0;
    /// False, with the store's reason in `problem`, when the text could not be kept.
    virtual bool write(const std::string& secret, std::string* problem) = 0;
    /// Forgets the kept text; true when none is kept afterwards.
    virtual bool remove() = 0;
};

/// The password kept for `user` (the user part of the account) on `server` (host[:port]),
/// or nothing.
std::optional<std::string> keptPasswordFor(SecretStore* store, const std::string& user,
                                           const std::string& server);

/// Whose password is kept: the user (without a domain) and the server (host[:port]), as
/// kept in lower case; nothing when none is kept. The password itself is not handed out.
struct KeptAccount {
    std::string user;
    std::string server;
};
std::optional<KeptAccount> keptAccount(SecretStore* store);

/// Brings the store in line with a finished logon: the password is kept when the user asked
/// for it and the server took it (a mount made with it, or a running daemon's logon); any kept
/// one is forgotten when the user did not ask or the server refused the logon's password; a
/// logon by Kerberos ticket changes nothing else.
/// Returns a line for the user when the store would not keep it.
std::optional<std::string> keepPasswordOfLogon(SecretStore* store, const std::string& serverText,
                                               const std::string& typedUser,
                                               const std::string& password, bool remember,
                                               const WorkflowResult& result);

/// Logout: nothing stays kept.
void forgetKeptPassword(SecretStore* store);

/// Overwrites a secret's bytes in a way the compiler keeps (macOS has no explicit_bzero).
void wipeSecret(char* bytes, size_t size);
inline void wipeSecret(std::string& secret) {
    wipeSecret(secret.data(), secret.size());
}

}  // namespace quorvane
