#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "MountPoints.h"
#include "MountTable.h"

namespace quorvane {

namespace {

bool mountRootByStatx(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0) {
        return errno == ENOTCONN;  // a network mount whose daemon has died
    }
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

// The kernel's mount table answers without asking the file system, so a mount whose daemon
// hangs or has died still counts as mounted and the caller never blocks on it.
bool isMountRoot(const std::string& path) {
    const std::optional<std::string> wanted = resolveParentOnly(path);
    if (!wanted) {
        return false;  // the parent is gone, so nothing can be mounted here
    }
    const std::vector<MountEntry> table = readMountTable();
    if (table.empty()) {
        return mountRootByStatx(path);
    }
    return findMount(table, *wanted).has_value();
}

}  // namespace quorvane
