#include "MountHealth.h"

#include <errno.h>
#include <sys/statvfs.h>

#include "BoundedCall.h"

namespace quorvane {

MountHealth checkMountHealth(const std::string& mountPoint, std::chrono::milliseconds limit) {
    // statfs always reaches the file system's daemon; a stat may be answered from the
    // kernel's attribute cache for a while after the daemon has gone.
    const auto answer = callWithin(limit, [path = mountPoint] {
        struct statvfs info {};
        return ::statvfs(path.c_str(), &info) == 0 ? 0 : errno;
    });
    if (!answer) {
        return MountHealth::NotAnswering;
    }
    // ENOTCONN on Linux (FUSE), ENXIO/ESTALE where a network file system lost its server.
    const int error = *answer;
    return error == ENOTCONN || error == ESTALE || error == ENXIO ? MountHealth::Dead
                                                                  : MountHealth::Answering;
}

}  // namespace quorvane
