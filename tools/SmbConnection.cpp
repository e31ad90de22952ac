#include "SmbConnection.h"

#include <errno.h>
#include <fcntl.h>
#include <libsmbclient.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace quorvane::tools {

namespace {

// The library's log is the only place that tells a refused logon from a refused share (both
// end as EACCES), so the share check listens to it while it runs.
std::atomic<bool> g_logonRefused{false};
// Whether the server refused a logon for the account's logon hours.
std::atomic<bool> g_outsideLogonHours{false};
// Whether a logon failed for any cause, the network's included.
std::atomic<bool> g_logonFailed{false};
// Whether a connection to the server was attempted: an error before that is the name's.
std::atomic<bool> g_connecting{false};
// Whether the user's Kerberos ticket was found expired: the library also takes one in its last
// minutes for expired, so a refused ticket may still show time left in klist.
std::atomic<bool> g_ticketExpired{false};

void onLibraryLog(void*, int, const char* message) {
    if (message == nullptr) {
        return;
    }
    if (::strstr(message, "Connecting to ") != nullptr) {
        g_connecting = true;
    }
    if (::strstr(message, "Ticket expired") != nullptr ||
        (::strstr(message, "Ticket in credentials cache") != nullptr &&
         ::strstr(message, "expire") != nullptr)) {
        g_ticketExpired = true;
    }
    if (saysOutsideLogonHours(message)) {
        g_outsideLogonHours = true;
    }
    if (saysLogonRefused(message)) {
        g_logonRefused = true;
    }
    if (::strstr(message, "login failed") != nullptr) {
        g_logonFailed = true;
    }
}

}  // namespace

bool saysLogonRefused(const char* message) {
    // The library names the status of a failed session setup, or its description: only these
    // are the server's word on the password or the account. "login failed" alone is also
    // said when the network failed during the logon (NT_STATUS_IO_TIMEOUT and the like).
    static const char* const kRefusals[] = {
        "NT_STATUS_LOGON_FAILURE",
        "NT_STATUS_WRONG_PASSWORD",
        "NT_STATUS_NO_SUCH_USER",
        "NT_STATUS_ACCOUNT_",
        "NT_STATUS_PASSWORD_",
        "NT_STATUS_INVALID_WORKSTATION",
        "logon is invalid",
        "current password is not correct",
        "account is currently disabled",
        "account has been automatically locked",
        "account is currently locked out",
        "password has expired",
        "account has expired",
        "must change his password",
        "account restriction",
    };
    for (const char* refusal : kRefusals) {
        if (::strstr(message, refusal) != nullptr) {
            return true;
        }
    }
    return false;
}

std::string outsideLogonHoursCause(const std::string& user, const std::string& server) {
    return "the server " + server + " does not let " + user +
           " log on at this time (the account's logon hours)";
}

bool saysOutsideLogonHours(const char* message) {
    // The status, or its description (Samba's, Windows's).
    return ::strstr(message, "NT_STATUS_INVALID_LOGON_HOURS") != nullptr ||
           ::strstr(message, "has time restrictions") != nullptr ||
           ::strstr(message, "logon time restriction") != nullptr;
}

namespace {

void copyInto(char* target, int size, const std::string& text) {
    if (target == nullptr || size <= 0) {
        return;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    ::memcpy(target, text.data(), n);
    target[n] = '\0';
}

std::mutex& libraryLock() {
    static std::mutex lock;
    return lock;
}

// Runs one library call (a negative result on failure) with the lock held and errno cleared
// first. The answer is the result, or -errno (-EIO when the library set none).
template <typename Call>
int guardedStatus(Call call) {
    const std::lock_guard<std::mutex> held(libraryLock());
    errno = 0;
    const int result = call();
    return result >= 0 ? result : errno != 0 ? -errno : -EIO;
}

}  // namespace

std::unique_ptr<SmbConnection> SmbConnection::create(const SmbLogin& login,
                                                     std::chrono::milliseconds timeout,
                                                     std::string* error) {
    if (!anyInterfaceUp()) {
        *error = "no network interface is up";
        errno = ENETDOWN;
        return nullptr;
    }
    const std::lock_guard<std::mutex> held(libraryLock());
    std::unique_ptr<SmbConnection> connection(new SmbConnection(login));
    SMBCCTX* c = smbc_new_context();
    if (c == nullptr) {
        *error = std::string("the SMB client library cannot start: ") + ::strerror(errno);
        return nullptr;
    }
    smbc_setOptionUserData(c, connection.get());
    smbc_setFunctionAuthDataWithContext(c, &SmbConnection::provideLogin);
    connection->addServer_ = smbc_getFunctionAddCachedServer(c);
    connection->removeServer_ = smbc_getFunctionRemoveCachedServer(c);
    smbc_setFunctionAddCachedServer(c, &SmbConnection::serverAdded);
    smbc_setFunctionRemoveCachedServer(c, &SmbConnection::serverRemoved);
    smbc_setTimeout(c, static_cast<int>(timeout.count()));
    // A refused logon must fail, not quietly become a guest session.
    smbc_setOptionNoAutoAnonymousLogin(c, true);
    const bool ticket = login.password.empty();
    smbc_setOptionUseKerberos(c, ticket);
    smbc_setOptionFallbackAfterKerberos(c, false);
    smbc_setOptionUseCCache(c, ticket);
    smbc_setDebug(c, 0);
    // Log messages reach the callback only; the library never prints to the terminal.
    smbc_setLogCallback(c, nullptr, onLibraryLog);
    const char* configuration = privateSmbConfiguration();
    if (configuration != nullptr && smbc_setConfiguration(c, configuration) != 0) {
        *error = std::string("cannot read the SMB client configuration ") + configuration;
        smbc_free_context(c, 0);
        return nullptr;
    }
    if (smbc_init_context(c) == nullptr) {
        *error = std::string("the SMB client library cannot start: ") + ::strerror(errno);
        smbc_free_context(c, 0);
        return nullptr;
    }
    connection->context_ = c;
    return connection;
}

SmbConnection::~SmbConnection() {
    if (context_ != nullptr) {
        const std::lock_guard<std::mutex> held(libraryLock());
        smbc_free_context(context_, 1);
    }
    // The password leaves memory with the last connection that needed it.
    ::explicit_bzero(login_.password.data(), login_.password.size());
}

void SmbConnection::provideLogin(SMBCCTX* context, const char*, const char*, char* workgroup,
                                 int workgroupSize, char* user, int userSize, char* password,
                                 int passwordSize) {
    const auto* self = static_cast<const SmbConnection*>(smbc_getOptionUserData(context));
    if (self == nullptr) {
        return;
    }
    if (!self->login_.workgroup.empty()) {
        copyInto(workgroup, workgroupSize, self->login_.workgroup);
    }
    copyInto(user, userSize, self->login_.user);
    copyInto(password, passwordSize, self->login_.password);
}

int SmbConnection::serverAdded(SMBCCTX* context, SMBCSRV* server, const char* name,
                               const char* share, const char* workgroup, const char* user) {
    auto* self = static_cast<SmbConnection*>(smbc_getOptionUserData(context));
    const int added = self->addServer_(context, server, name, share, workgroup, user);
    if (added == 0) {
        self->servers_.insert(server);
    }
    return added;
}

int SmbConnection::serverRemoved(SMBCCTX* context, SMBCSRV* server) {
    auto* self = static_cast<SmbConnection*>(smbc_getOptionUserData(context));
    self->servers_.erase(server);
    return self->removeServer_(context, server);
}

bool SmbConnection::mustLogOn() {
    const std::lock_guard<std::mutex> held(libraryLock());
    if (servers_.empty()) {
        return true;
    }
    // The library's own test before it reuses a connection (an echo now and then): one that
    // fails it is replaced, with a logon, by the next call.
    const auto stillGood = smbc_getFunctionCheckServer(context_);
    for (SMBCSRV* server : servers_) {
        if (stillGood(context_, server) != 0) {
            return true;
        }
    }
    return false;
}

int SmbConnection::watchingLogon(const std::function<int()>& call, bool* refused) {
    {
        const std::lock_guard<std::mutex> held(libraryLock());
        g_logonRefused = false;
        g_outsideLogonHours = false;
        // The refusal's cause is logged at this level only; a logon is rare, so the words it
        // costs are too.
        smbc_setDebug(context_, 3);
    }
    const int result = call();
    const std::lock_guard<std::mutex> held(libraryLock());
    smbc_setDebug(context_, 0);
    *refused = result < 0 && g_logonRefused;
    // Not now, says the server: the call fails at once, and the next one may log on again.
    return result < 0 && g_outsideLogonHours && !g_logonRefused ? -EACCES : result;
}

ShareCheck SmbConnection::check(const SmbUrlParts& parts) {
    SMBCCTX* c = context_;
    int error = 0;
    {
        const std::lock_guard<std::mutex> held(libraryLock());
        g_logonRefused = false;
        g_outsideLogonHours = false;
        g_logonFailed = false;
        g_connecting = false;
        g_ticketExpired = false;
        smbc_setDebug(c, 3);
        errno = 0;
        // A stat of the share's root answers as soon as the server has taken the logon and
        // the share; opening the folder would list every entry first, which for a large
        // folder takes longer than the whole check may.
        struct stat root {};
        const int statResult = smbc_getFunctionStat(c)(c, smbUrlFor(parts, "/").c_str(), &root);
        error = errno;
        smbc_setDebug(c, 0);
        if (statResult == 0) {
            return {ShareAccess::Granted, {}, false};
        }
    }
    ShareCheck check;
    check.detail = ::strerror(error);
    check.ticketExpired = g_ticketExpired;
    if (g_outsideLogonHours && !g_logonRefused) {
        check.access = ShareAccess::OutsideLogonHours;
        return check;
    }
    // A ticket's logon fails on the client as often as at the server, in words of Kerberos's
    // own: any failed logon means the ticket does not do.
    const bool refused = g_logonRefused || (usesTicket() && g_logonFailed);
    switch (error) {
        case EACCES:
            check.access = refused ? ShareAccess::WrongPassword : ShareAccess::ForbiddenShare;
            break;
        case EPERM:
            // The library's word for every logon that failed: a password logon without the
            // server's refusal in its log broke off (a server that stopped answering during it).
            check.access = refused        ? ShareAccess::WrongPassword
                           : usesTicket() ? ShareAccess::ForbiddenShare
                                          : ShareAccess::Unreachable;
            break;
        case ENOENT:
        case ENODEV:
            check.access = ShareAccess::UnknownShare;
            break;
        case EINVAL:
            // The library's answer both for a name that does not resolve and for a logon
            // that could not even start (no Kerberos ticket).
            check.access = !g_connecting  ? ShareAccess::ServerNotFound
                           : usesTicket() ? ShareAccess::WrongPassword
                                          : ShareAccess::Other;
            break;
        case ECONNREFUSED:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
            check.access = ShareAccess::Unreachable;
            break;
        default:
            check.access = ShareAccess::Other;
            break;
    }
    // Socket errors' names mean nothing to a desk user.
    if (check.access == ShareAccess::Unreachable) {
        check.detail = "the server is not answering";
    }
    switch (error) {
        case ECONNREFUSED:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN:
        case ECONNRESET:
        case ECONNABORTED:
        case ENETRESET:
        case EPIPE:
            check.detail = "the server is not answering";
            break;
        default:
            break;
    }
    return check;
}

int SmbConnection::stat(const std::string& url, struct stat* out) {
    return guardedStatus(
        [&] { return smbc_getFunctionStat(context_)(context_, url.c_str(), out); });
}

int SmbConnection::stat(SmbHandle file, struct stat* out) {
    return guardedStatus([&] { return smbc_getFunctionFstat(context_)(context_, file, out); });
}

int SmbConnection::list(const std::string& url,
                        const std::function<bool(const char* name, const struct stat&)>& each) {
    const std::lock_guard<std::mutex> held(libraryLock());
    SMBCCTX* c = context_;
    errno = 0;
    SMBCFILE* folder = smbc_getFunctionOpendir(c)(c, url.c_str());
    if (folder == nullptr) {
        return errno != 0 ? -errno : -EIO;
    }
    const auto next = smbc_getFunctionReaddirPlus2(c);
    struct stat attributes {};
    errno = 0;
    while (const libsmb_file_info* entry = next(c, folder, &attributes)) {
        if (!each(entry->name, attributes)) {
            break;
        }
        errno = 0;
    }
    const int result = errno != 0 ? -errno : 0;
    smbc_getFunctionClosedir(c)(c, folder);
    return result;
}

int SmbConnection::open(const std::string& url, int flags, mode_t mode, SmbHandle* out) {
    const std::lock_guard<std::mutex> held(libraryLock());
    errno = 0;
    *out = smbc_getFunctionOpen(context_)(context_, url.c_str(), flags, mode);
    if (*out == nullptr) {
        return errno != 0 ? -errno : -EIO;
    }
    return 0;
}

ssize_t SmbConnection::read(SmbHandle file, char* buffer, size_t size, off_t offset) {
    const std::lock_guard<std::mutex> held(libraryLock());
    SMBCCTX* c = context_;
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file, offset, SEEK_SET) < 0) {
        return errno != 0 ? -errno : -EIO;
    }
    size_t done = 0;
    while (done < size) {
        errno = 0;
        const ssize_t n = smbc_getFunctionRead(c)(c, file, buffer + done, size - done);
        if (n < 0) {
            return errno != 0 ? -errno : -EIO;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t SmbConnection::write(SmbHandle file, const char* buffer, size_t size, off_t offset) {
    const std::lock_guard<std::mutex> held(libraryLock());
    SMBCCTX* c = context_;
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file, offset, SEEK_SET) < 0) {
        return errno != 0 ? -errno : -EIO;
    }
    size_t done = 0;
    while (done < size) {
        errno = 0;
        const ssize_t n = smbc_getFunctionWrite(c)(c, file, buffer + done, size - done);
        if (n <= 0) {
            return n < 0 && errno != 0 ? -errno : -EIO;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int SmbConnection::truncate(SmbHandle file, off_t size) {
    return guardedStatus([&] { return smbc_getFunctionFtruncate(context_)(context_, file, size); });
}

int SmbConnection::close(SmbHandle file) {
    return guardedStatus([&] { return smbc_getFunctionClose(context_)(context_, file); });
}

int SmbConnection::unlink(const std::string& url) {
    return guardedStatus([&] { return smbc_getFunctionUnlink(context_)(context_, url.c_str()); });
}

int SmbConnection::mkdir(const std::string& url) {
    return guardedStatus(
        [&] { return smbc_getFunctionMkdir(context_)(context_, url.c_str(), 0755); });
}

int SmbConnection::rmdir(const std::string& url) {
    return guardedStatus([&] { return smbc_getFunctionRmdir(context_)(context_, url.c_str()); });
}

int SmbConnection::rename(const std::string& from, const std::string& to) {
    return guardedStatus([&] {
        return smbc_getFunctionRename(context_)(context_, from.c_str(), context_, to.c_str());
    });
}

int SmbConnection::setTimes(const std::string& url, const struct timeval times[2]) {
    return guardedStatus([&] {
        return smbc_getFunctionUtimes(context_)(context_, url.c_str(),
                                                const_cast<struct timeval*>(times));
    });
}

int SmbConnection::statvfs(const std::string& url, struct statvfs* out) {
    std::string where = url;
    return guardedStatus(
        [&] { return smbc_getFunctionStatVFS(context_)(context_, where.data(), out); });
}

}  // namespace quorvane::tools
