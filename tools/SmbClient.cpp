#include "SmbClient.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace quorvane::tools {

namespace {

// The library's log is the only place that tells a refused logon from a refused share (both
// end as EACCES), so the login check listens to it while it runs.
std::atomic<bool> g_logonRefused{false};
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
    if (::strstr(message, "login failed") != nullptr ||
        ::strstr(message, "logon is invalid") != nullptr ||
        ::strstr(message, "NT_STATUS_LOGON_FAILURE") != nullptr ||
        ::strstr(message, "NT_STATUS_ACCOUNT_") != nullptr ||
        ::strstr(message, "NT_STATUS_PASSWORD_") != nullptr ||
        ::strstr(message, "NT_STATUS_WRONG_PASSWORD") != nullptr) {
        g_logonRefused = true;
    }
}

void copyInto(char* target, int size, const std::string& text) {
    if (target == nullptr || size <= 0) {
        return;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    ::memcpy(target, text.data(), n);
    target[n] = '\0';
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

std::string encodeName(const std::string& text, bool keepSlash) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (isUnreserved(c) || (keepSlash && c == '/')) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

}  // namespace

std::mutex& libraryLock() {
    static std::mutex lock;
    return lock;
}

namespace {

// Calls `each` with every descriptor of a TCP connection this process holds: the library's
// connections to the server, for the mount daemon has no others.
template <typename Each>
void forEachConnection(Each each) {
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) {
        return;
    }
    std::vector<int> found;
    while (const dirent* entry = ::readdir(folder)) {
        const int fd = ::atoi(entry->d_name);
        int type = 0;
        socklen_t typeSize = sizeof type;
        sockaddr_storage peer{};
        socklen_t peerSize = sizeof peer;
        if (entry->d_name[0] != '.' && fd != ::dirfd(folder) &&
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeSize) == 0 && type == SOCK_STREAM &&
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
            (peer.ss_family == AF_INET || peer.ss_family == AF_INET6)) {
            found.push_back(fd);
        }
    }
    ::closedir(folder);
    for (int fd : found) {
        each(fd);
    }
}

// Whether some network interface is up with an address. Without one the library's start
// ends the whole process ("Could not determine network interfaces"), so a context is made
// only while there is one.
bool anyInterfaceUp() {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) {
        return true;  // let the library look for itself
    }
    bool found = false;
    for (const ifaddrs* i = interfaces; i != nullptr && !found; i = i->ifa_next) {
        found = i->ifa_addr != nullptr && i->ifa_netmask != nullptr && (i->ifa_flags & IFF_UP) &&
                (i->ifa_addr->sa_family == AF_INET || i->ifa_addr->sa_family == AF_INET6);
    }
    ::freeifaddrs(interfaces);
    return found;
}

}  // namespace

void abortConnections() {
    const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    forEachConnection([&](int fd) {
        // A zero linger makes the close a reset that drops the send queue; the descriptor
        // number then leads to /dev/null until the library closes it.
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        if (nowhere < 0 || ::dup2(nowhere, fd) < 0) {
            ::shutdown(fd, SHUT_RDWR);
        }
    });
    if (nowhere >= 0) {
        ::close(nowhere);
    }
}

void keepConnectionsAlive() {
    forEachConnection([](int fd) {
        // An idle connection whose server went away (a changed network, a server that lost
        // power) fails within about 20 s, so the next call starts on a new one at once.
        const int on = 1;
        const int idleSeconds = 10;
        const int probeSeconds = 5;
        const int probes = 2;
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &probeSeconds, sizeof probeSeconds);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    });
}

SmbLogin loginFor(const std::string& userWithDomain, std::string password) {
    SmbLogin login;
    login.user = userWithDomain;
    if (const size_t semicolon = userWithDomain.find(';'); semicolon != std::string::npos) {
        login.workgroup = userWithDomain.substr(0, semicolon);
        login.user = userWithDomain.substr(semicolon + 1);
    }
    login.password = std::move(password);
    return login;
}

const char* privateConfiguration() {
    const char* path = std::getenv(kClientConfigVariable);
    return path != nullptr && path[0] != '\0' ? path : nullptr;
}

bool prepareSmbLibrary(std::string* error) {
    const char* configuration = privateConfiguration();
    if (configuration != nullptr && ::access(configuration, R_OK) != 0) {
        *error = std::string("cannot read the SMB client configuration ") + configuration + ": " +
                 ::strerror(errno);
        return false;
    }
    return true;
}

std::string smbUrlFor(const SmbUrlParts& parts, const std::string& path) {
    std::string url = "smb://";
    url += hostWithPort(parts);
    url += "/" + encodeName(parts.share, false);
    url += path.empty() || path[0] != '/' ? "/" + encodeName(path, true) : encodeName(path, true);
    return url;
}

std::unique_ptr<SmbContext> SmbContext::create(const SmbLogin& login,
                                               std::chrono::milliseconds timeout,
                                               std::string* error) {
    if (!anyInterfaceUp()) {
        *error = "no network interface is up";
        errno = ENETDOWN;
        return nullptr;
    }
    std::unique_ptr<SmbContext> context(new SmbContext(login));
    context->context_ = smbc_new_context();
    if (context->context_ == nullptr) {
        *error = std::string("the SMB client library cannot start: ") + ::strerror(errno);
        return nullptr;
    }
    SMBCCTX* c = context->context_;
    smbc_setOptionUserData(c, context.get());
    smbc_setFunctionAuthDataWithContext(c, &SmbContext::provideLogin);
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
    const char* configuration = privateConfiguration();
    if (configuration != nullptr && smbc_setConfiguration(c, configuration) != 0) {
        *error = std::string("cannot read the SMB client configuration ") + configuration;
        smbc_free_context(c, 0);
        context->context_ = nullptr;
        return nullptr;
    }
    if (smbc_init_context(c) == nullptr) {
        *error = std::string("the SMB client library cannot start: ") + ::strerror(errno);
        smbc_free_context(c, 0);
        context->context_ = nullptr;
        return nullptr;
    }
    return context;
}

SmbContext::~SmbContext() {
    if (context_ != nullptr) {
        smbc_free_context(context_, 1);  // closes what is still open, then logs off
    }
    // The password leaves memory with the last context that needed it.
    ::explicit_bzero(login_.password.data(), login_.password.size());
}

void SmbContext::setDebugLevel(int level) {
    smbc_setDebug(context_, level);
}

void SmbContext::provideLogin(SMBCCTX* context, const char*, const char*, char* workgroup,
                              int workgroupSize, char* user, int userSize, char* password,
                              int passwordSize) {
    const auto* self = static_cast<const SmbContext*>(smbc_getOptionUserData(context));
    if (self == nullptr) {
        return;
    }
    if (!self->login_.workgroup.empty()) {
        copyInto(workgroup, workgroupSize, self->login_.workgroup);
    }
    copyInto(user, userSize, self->login_.user);
    copyInto(password, passwordSize, self->login_.password);
}

ShareCheck checkShare(SmbContext& context, const SmbUrlParts& parts) {
    SMBCCTX* c = context.get();
    g_logonRefused = false;
    g_connecting = false;
    g_ticketExpired = false;
    context.setDebugLevel(3);
    errno = 0;
    // A stat of the share's root answers as soon as the server has taken the logon and the
    // share; opening the folder would list every entry first, which for a large folder takes
    // longer than the whole check may.
    struct stat root {};
    const int statResult = smbc_getFunctionStat(c)(c, smbUrlFor(parts, "/").c_str(), &root);
    const int error = errno;
    context.setDebugLevel(0);
    if (statResult == 0) {
        return {ShareAccess::Granted, {}, false};
    }
    ShareCheck check;
    check.detail = ::strerror(error);
    check.ticketExpired = g_ticketExpired;
    switch (error) {
        case EACCES:
        case EPERM:
            check.access =
                g_logonRefused ? ShareAccess::WrongPassword : ShareAccess::ForbiddenShare;
            break;
        case ENOENT:
        case ENODEV:
            check.access = ShareAccess::UnknownShare;
            break;
        case EINVAL:
            // The library's answer both for a name that does not resolve and for a logon
            // that could not even start (no Kerberos ticket).
            check.access = !g_connecting          ? ShareAccess::ServerNotFound
                           : context.usesTicket() ? ShareAccess::WrongPassword
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
    return check;
}

}  // namespace quorvane::tools
