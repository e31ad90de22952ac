#include "MountChecks.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MountTable.h"
#include "ToolProcess.h"

namespace quorvane::tools {

// The mount table is asked first, so a dead or hung mount there is refused without being
// touched.
std::optional<std::string> mountPointProblem(const std::string& given, std::string* resolved) {
    const std::optional<std::string> path = resolveParentOnly(given);
    if (!path) {
        return "mount point does not exist: " + given;
    }
    *resolved = *path;
    if (mountAt(*path)) {
        return "mount point is busy: something is mounted on " + *path + " already";
    }
    struct stat info {};
    if (::lstat(path->c_str(), &info) != 0) {
        return "mount point does not exist: " + *path;
    }
    if (!S_ISDIR(info.st_mode)) {
        return "mount point is not a folder: " + *path;
    }
    DIR* folder = ::opendir(path->c_str());
    if (folder == nullptr) {
        return "mount point cannot be read: " + *path + ": " + ::strerror(errno);
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(folder)) {
        if (::strcmp(entry->d_name, ".") != 0 && ::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    ::closedir(folder);
    if (!empty) {
        return "mount point is busy: " + *path + " is not empty";
    }
    return std::nullopt;
}

std::optional<std::string> fuseProblem() {
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            return "FUSE is missing: /dev/fuse does not exist; load the module (modprobe fuse) "
                   "or, in a container, pass the device in (--device /dev/fuse)";
        }
        return std::string("FUSE is not permitted: /dev/fuse cannot be opened (") +
               ::strerror(error) +
               "); let users open it (chmod 0666 /dev/fuse, as on a usual desktop) or ask the "
               "administrator";
    }
    ::close(fd);
    if (::geteuid() == 0) {
        return std::nullopt;  // root mounts without fusermount3
    }
    const std::string fusermount = findProgram("fusermount3");
    if (fusermount.empty()) {
        return std::string("FUSE is not usable: fusermount3 is missing; install the fuse3 package");
    }
    struct stat info {};
    if (::stat(fusermount.c_str(), &info) != 0 || info.st_uid != 0 ||
        (info.st_mode & S_ISUID) == 0) {
        return "FUSE is not usable: " + fusermount +
               " is not setuid root; reinstall the fuse3 package (or chmod u+s " + fusermount + ")";
    }
    return std::nullopt;
}

}  // namespace quorvane::tools
