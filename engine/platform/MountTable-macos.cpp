#include <sys/mount.h>
#include <sys/param.h>
#include <sys/ucred.h>

#include "MountTable.h"

namespace quorvane {

std::vector<MountEntry> readMountTable() {
    // MNT_NOWAIT: take the kernel's list as it is, never asking a (possibly hung) server.
    struct statfs* mounts = nullptr;
    const int count = ::getmntinfo(&mounts, MNT_NOWAIT);
    std::vector<MountEntry> table;
    for (int i = 0; i < count; ++i) {
        table.push_back({mounts[i].f_mntonname, mounts[i].f_fstypename, mounts[i].f_mntfromname});
    }
    return table;
}

}  // namespace quorvane
