#include <limits.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/param.h>

#include <cstring>

#include "MountPoints.h"

namespace quorvane {

// A folder is a volume's root when the file system it lies on is mounted exactly there.
bool isMountRoot(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return false;
    }
    struct statfs info {};
    if (::statfs(resolved, &info) != 0) {
        return false;
    }
    return std::strcmp(info.f_mntonname, resolved) == 0;
}

}  // namespace quorvane
