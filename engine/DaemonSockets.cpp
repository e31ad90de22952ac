#include "DaemonSockets.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "EngineConfig.h"

namespace quorvane::daemons {

namespace {

constexpr const char* kSocketPrefix = "mount-health-";

// A folder (not a link to one) of this user's that nobody else may enter or change.
bool isPrivateFolder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

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

}  // namespace

std::optional<std::string> socketFolder(std::string* why) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isPrivateFolder(runtime)) {
        return privateFolderAt(std::string(runtime) + "/quorvane", why);
    }
    // The sticky /tmp keeps anyone else from renaming or removing the folder once it is ours.
    return privateFolderAt("/tmp/quorvane-" + std::to_string(::geteuid()), why);
}

std::string socketPath(const std::string& folder, pid_t pid) {
    return folder + "/" + kSocketPrefix + std::to_string(pid);
}

std::optional<pid_t> pidOfSocketName(const std::string& name) {
    const std::string prefix = kSocketPrefix;
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size() ||
        name.size() > prefix.size() + 9 ||
        name.find_first_not_of("0123456789", prefix.size()) != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<pid_t>(std::stol(name.substr(prefix.size())));
}

std::string installedMountTool() {
    const std::string tool = executableFolder() + "/../" QUORVANE_TOOLS_SUBDIR "/mount_smbfs";
    char resolved[PATH_MAX];
    return ::realpath(tool.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

bool runsProgram(pid_t pid, const std::string& canonicalProgram) {
    char target[PATH_MAX];
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    // A program replaced on disk since it started reads "PATH (deleted)" and is not this one.
    return !canonicalProgram.empty() && n > 0 &&
           std::string(target, static_cast<size_t>(n)) == canonicalProgram;
}

}  // namespace quorvane::daemons
