#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "SmbClient.h"

struct _SMBCCTX;
struct _SMBCFILE;
struct _SMBCSRV;

// One connection to the server through Samba's client library, the only way into the
// library: each call takes the library's lock and returns 0 (or a count) or -errno, so no
// caller reads errno after the fact. The library as Debian builds it has no thread support (its
// per-call scratch memory is one global stack), so two connections in one process never call
// it at once.
namespace quorvane::tools {

/// A file or folder opened on one connection; only that connection may use it.
using SmbHandle = _SMBCFILE*;

/// What the first look at a share found.
enum class ShareAccess {
    Granted,
    WrongPassword,      // the server refused the logon
    OutsideLogonHours,  // the account may not log on at this time of day
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

class SmbConnection {
public:
    SmbConnection(const SmbConnection&) = delete;
    SmbConnection& operator=(const SmbConnection&) = delete;
    /// Closes what is still open, then logs off.
    ~SmbConnection();

    /// Nothing (and `error`) when the library refuses a context, or (errno ENETDOWN) while
    /// no network interface is up. The logon itself happens on the first call.
    static std::unique_ptr<SmbConnection> create(const SmbLogin& login,
                                                 std::chrono::milliseconds timeout,
                                                 std::string* error);
    /// True when the logon uses the user's Kerberos ticket (no password given).
    bool usesTicket() const { return login_.password.empty(); }

    /// Opens the share's top folder once, with one logon attempt, and tells the kinds of
    /// failure apart.
    ShareCheck check(const SmbUrlParts& parts);

    /// Whether the next call logs on first: no session yet, or the one held is gone (the
    /// library then logs on again by itself, within whatever call comes next).
    bool mustLogOn();
    /// Whether the library holds a logged-on connection (the last logon was taken).
    bool holdsSession() const { return !servers_.empty(); }
    /// Runs `call`, which may log on, listening to the library: `refused` tells whether the
    /// server refused the logon itself (the password or the account), which the library
    /// reports no differently from a refused share or file. A logon refused for the account's
    /// logon hours is not a refusal of the password: the call fails with EACCES.
    int watchingLogon(const std::function<int()>& call, bool* refused);

    int stat(const std::string& url, struct stat* out);
    int stat(SmbHandle file, struct stat* out);
    /// Calls `each` for every entry of the folder with its attributes; stops when `each`
    /// returns false.
    int list(const std::string& url,
             const std::function<bool(const char* name, const struct stat&)>& each);
    int open(const std::string& url, int flags, mode_t mode, SmbHandle* out);
    /// Reads up to `size` bytes at `offset`, fewer only at the end of the file.
    ssize_t read(SmbHandle file, char* buffer, size_t size, off_t offset);
    /// Writes all `size` bytes at `offset`.
    ssize_t write(SmbHandle file, const char* buffer, size_t size, off_t offset);
    int truncate(SmbHandle file, off_t size);
    int close(SmbHandle file);
    int unlink(const std::string& url);
    int mkdir(const std::string& url);
    int rmdir(const std::string& url);
    int rename(const std::string& from, const std::string& to);
    int setTimes(const std::string& url, const struct timeval times[2]);
    int statvfs(const std::string& url, struct statvfs* out);

private:
    explicit SmbConnection(const SmbLogin& login) : login_(login) {}
    static void provideLogin(_SMBCCTX* context, const char* server, const char* share,
                             char* workgroup, int workgroupSize, char* user, int userSize,
                             char* password, int passwordSize);

    static int serverAdded(_SMBCCTX* context, _SMBCSRV* server, const char* name, const char* share,
                           const char* workgroup, const char* user);
    static int serverRemoved(_SMBCCTX* context, _SMBCSRV* server);

    SmbLogin login_;
    _SMBCCTX* context_ = nullptr;
    // The library's connections of this context, as it adds them to its cache and takes them
    // out: while one of them still answers, a call needs no logon.
    std::set<_SMBCSRV*> servers_;
    int (*addServer_)(_SMBCCTX*, _SMBCSRV*, const char*, const char*, const char*,
                      const char*) = nullptr;
    int (*removeServer_)(_SMBCCTX*, _SMBCSRV*) = nullptr;
};

/// Whether a line of the library's log says that the server refused a logon for the password
/// or the account (never for the share, nor for a network that failed during the logon).
bool saysLogonRefused(const char* message);
/// Whether a line of the library's log says that the server refused a logon because the
/// account's logon hours do not allow one now: a password it says nothing about (a domain
/// controller checks the hours first), to be kept for when the hours come.
bool saysOutsideLogonHours(const char* message);
/// What the mount tool says of such a refusal.
std::string outsideLogonHoursCause(const std::string& user, const std::string& server);

}  // namespace quorvane::tools
