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

#include <cstdlib>
#include <vector>

namespace quorvane::tools {

namespace {

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

}  // namespace

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

const char* privateSmbConfiguration() {
    const char* path = std::getenv(kClientConfigVariable);
    return path != nullptr && path[0] != '\0' ? path : nullptr;
}

bool prepareSmbLibrary(std::string* error) {
    const char* configuration = privateSmbConfiguration();
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

}  // namespace quorvane::tools
