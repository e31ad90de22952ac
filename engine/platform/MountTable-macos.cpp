#include <sys/mount.h>
#include <sys/param.h>
#include <sys/ucred.h>

#include "MountTable.h"

namespace quorvane {

std::optional<std::vector<MountEntry>> readMountTable() {
    // MNT_NOWAIT: take the kernel's list as it is, never asking a (possibly hung) server.
    struct statfs* mounts = nullptr;
    const int count = ::getmntinfo(&mounts, MNT_NOWAIT);
    if (count <= 0) {
        return std::nullopt;
    }
    std::vector<MountEntry> table;
    table.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        table.push_back(
            {mounts[i].f_mntonname, mounts[i].f_fstypename, mounts[i].f_mntfromname, "/"});
    }
    return table;
}

std::optional<MountEntry> mountAt(const std::string& path) {
    // Only the parent is resolved: the folder itself may stand on a hung server.
    const std::optional<std::string> wanted = resolveParentOnly(path);
    if (!wanted) {
        return std::nullopt;
    }
    const std::optional<std::vector<MountEntry>> table = readMountTable();
    return table ? findMount(*table, *wanted) : std::nullopt;
}

}  // namespace quorvane
