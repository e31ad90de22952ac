#include "DaemonSockets.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

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
