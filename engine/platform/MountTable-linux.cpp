#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MountTable.h"

namespace quorvane {

namespace {

// Only when the table cannot be read: asks the folder itself, which a hung mount can block.
bool isMountRootByStatx(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0) {
        return errno == ENOTCONN;  // a network mount whose daemon has died
    }
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

std::optional<std::vector<MountEntry>> readMountTable() {
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fd);
    if (text.empty()) {
        return std::nullopt;
    }
    return parseMountInfo(text);
}

std::optional<MountEntry> mountAt(const std::string& path) {
    const std::optional<std::string> wanted = resolveParentOnly(path);
    if (!wanted) {
        return std::nullopt;  // the parent is gone, so nothing can be mounted here
    }
    const std::optional<std::vector<MountEntry>> table = readMountTable();
    if (!table) {
        if (isMountRootByStatx(*wanted)) {
            return MountEntry{*wanted, "unknown", "", "/"};
        }
        return std::nullopt;
    }
    return findMount(*table, *wanted);
}

}  // namespace quorvane
