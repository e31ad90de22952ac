#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "MountTable.h"

namespace quorvane {

namespace {

// The kernel writes /proc/self/mountinfo afresh on every read, which costs more than the rest
// of a mount check together (a logon asks once per share). It also flags the open file
// (POLLPRI) whenever a mount comes or goes, so the parsed table is kept until it is flagged.
struct CachedMountTable {
    std::mutex mutex;
    int fd = -1;
    bool filled = false;
    std::vector<MountEntry> table;
};

// True when a mount or unmount happened since the last call. Asking clears the flag, so a
// change during the read that follows is flagged again for the next call.
bool flaggedAsChanged(int fd) {
    pollfd entry{fd, POLLPRI, 0};
    int r;
    do {
        r = ::poll(&entry, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r != 0;
}

bool readFromStart(int fd, std::string* text) {
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        return false;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        text->append(buffer, static_cast<size_t>(n));
    }
}

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
    static CachedMountTable cache;
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (cache.fd < 0) {
        cache.fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
        if (cache.fd < 0) {
            return std::nullopt;
        }
    }
    if (cache.filled && !flaggedAsChanged(cache.fd)) {
        return cache.table;
    }
    std::string text;
    if (!readFromStart(cache.fd, &text) || text.empty()) {
        cache.filled = false;
        return std::nullopt;
    }
    cache.table = parseMountInfo(text);
    cache.filled = true;
    return cache.table;
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
