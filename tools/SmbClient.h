#pragma once

#include <libsmbclient.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "SmbUrl.h"

// Samba's client library as the mount tool uses it: one context per connection, a login kept
// in memory only, and the first look at a share that tells its kinds of failure apart.
namespace quorvane::tools {

/// Who logs on. An empty password means: use the Kerberos ticket the user holds.
struct SmbLogin {
    std::string workgroup;  // empty: the one from the client configuration
    std::string user;
    std::string password;
};

/// "DOMAIN;USER" taken apart; the domain is empty when there is none.
SmbLogin loginFor(const std::string& userWithDomain, std::string password);

/// Environment variable naming a private client configuration (smb.conf syntax) used instead
/// of the system's; tests point it at one with their own name resolution.
inline constexpr const char* kClientConfigVariable = "QUORVANE_SMB_CLIENT_CONF";

/// False (and `error`) when the private configuration is named but cannot be read.
bool prepareSmbLibrary(std::string* error);

/// The URL libsmbclient takes for `path` ("/" or "/dir/name") on the share, with every byte
/// of host-independent names percent-encoded, so that names holding "%", "?" or "#" survive.
std::string smbUrlFor(const SmbUrlParts& parts, const std::string& path);

/// How long one call of the mount waits for the server, replacing a lost connection
/// included: as long as a user waits on a slow network (a Wi-Fi hand-over, a wake from sleep)
/// before calling the server gone, and the library's own default for one answer, which other
/// SMB clients on this system use.
inline constexpr std::chrono::seconds kRequestBound{20};

/// Resets every TCP connection this process holds, throwing away what was not yet sent, so
/// that a request already reported failed can never reach the server later. The library's
/// descriptors stay valid (they lead nowhere) until it closes them itself.
void abortConnections();
/// Has the system probe every TCP connection of this process while it is idle.
void keepConnectionsAlive();

/// One libsmbclient context: its own connection to the server. The library as Debian builds
/// it has no thread support (its per-call scratch memory is one global stack), so callers
/// hold libraryLock() around every call into it, on any context.
std::mutex& libraryLock();

class SmbContext {
public:
    SmbContext(const SmbContext&) = delete;
    SmbContext& operator=(const SmbContext&) = delete;
    ~SmbContext();

    /// Nothing (and `error`) when the library refuses a context, or (errno ENETDOWN) while
    /// no network interface is up.
    static std::unique_ptr<SmbContext> create(const SmbLogin& login,
                                              std::chrono::milliseconds timeout,
                                              std::string* error);
    SMBCCTX* get() const { return context_; }
    /// True when the logon uses the user's Kerberos ticket (no password given).
    bool usesTicket() const { return login_.password.empty(); }
    /// Log messages of the library at this level go to the login check (0: none).
    void setDebugLevel(int level);

private:
    explicit SmbContext(const SmbLogin& login) : login_(login) {}
    static void provideLogin(SMBCCTX* context, const char* server, const char* share,
                             char* workgroup, int workgroupSize, char* user, int userSize,
                             char* password, int passwordSize);

    SmbLogin login_;
    SMBCCTX* context_ = nullptr;
};

/// What the first look at a share found.
enum class ShareAccess {
    Granted,
    WrongPassword,  // the server refused the logon
    UnknownShare,
    ForbiddenShare,
    ServerNotFound,  // the name does not resolve
    Unreachable,     // refused, unreachable or no answer
    Other,
};
struct ShareCheck {
    ShareAccess access = ShareAccess::Other;
    std::string detail;  // the system's words for the error, for ShareAccess::Other and Unreachable
    /// The user's Kerberos ticket has run out, or is in its last minutes.
    bool ticketExpired = false;
};

/// Opens the share's top folder once, with one logon attempt.
ShareCheck checkShare(SmbContext& context, const SmbUrlParts& parts);

}  // namespace quorvane::tools
