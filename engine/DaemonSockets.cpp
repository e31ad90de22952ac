#include "DaemonSockets.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "EngineConfig.h"

namespace quorvane::daemons {

namespace {

constexpr const char* kSocketPrefix = "mount-health-";
constexpr const char* kTroublePrefix = "mount-trouble-";

// A folder (not a link to one) of this user's that nobody else may enter or change.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

// Whether the socket at `path` is gone or nobody listens on it any more.
bool nobodyListensAt(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int probe = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (probe < 0) {
        return false;
    }
    // Never waits on a listener whose queue is full: that one lives.
    ::fcntl(probe, F_SETFD, FD_CLOEXEC);
    ::fcntl(probe, F_SETFL, O_NONBLOCK);
    const bool listened =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int why = errno;
    ::close(probe);
    return !listened && (why == ECONNREFUSED || why == ENOENT);
}

}  // namespace

std::optional<std::string> privateFolderAt(const std::string& path, std::string* why) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        if (why != nullptr) {
            *why = path + ": cannot be made";
        }
        return std::nullopt;
    }
    if (!isPrivateFolder(path)) {
        if (why != nullptr) {
            *why = path + " is not a private folder of this user's";
        }
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> socketFolder(std::string* why) {
    const std::string runtime = "/run/user/" + std::to_string(::geteuid());
    if (isPrivateFolder(runtime)) {
        return privateFolderAt(runtime + "/quorvane", why);
    }
    // The sticky /tmp keeps anyone else from renaming or removing the folder once it is ours.
    return privateFolderAt("/tmp/quorvane-" + std::to_string(::geteuid()), why);
}

std::string socketPath(const std::string& folder, pid_t pid) {
    return folder + "/" + kSocketPrefix + std::to_string(pid);
}

std::string troubleMarkerPath(const std::string& folder, pid_t pid) {
    return folder + "/" + kTroublePrefix + std::to_string(pid);
}

std::optional<pid_t> pidOfDaemonFile(const std::string& name) {
    for (const std::string prefix : {kSocketPrefix, kTroublePrefix}) {
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() &&
            name.size() <= prefix.size() + 9 &&
            name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
            return static_cast<pid_t>(std::stol(name.substr(prefix.size())));
        }
    }
    return std::nullopt;
}

void removeFilesOfEndedDaemons(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> pid = pidOfDaemonFile(entry->d_name);
        if (pid && ::kill(*pid, 0) != 0 && errno == ESRCH &&
            nobodyListensAt(socketPath(folder, *pid))) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

std::string installedMountTool() {
    const std::string tool = executableFolder() + "/../" QUORVANE_TOOLS_SUBDIR "/mount_smbfs";
    char resolved[PATH_MAX];
    return ::realpath(tool.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

Program programOf(pid_t pid, const std::string& canonicalProgram) {
    char target[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return errno == EACCES || errno == EPERM ? Program::Hidden : Program::Other;
    }
    const std::string program(target, static_cast<size_t>(n));
    if (canonicalProgram.empty()) {
        return Program::Other;
    }
    if (program == canonicalProgram) {
        return Program::Same;
    }
    return program == canonicalProgram + " (deleted)" ? Program::OlderBuild : Program::Other;
}

}  // namespace quorvane::daemons
