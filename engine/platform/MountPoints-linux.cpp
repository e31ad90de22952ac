#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "MountPoints.h"

namespace quorvane {

namespace {

// Mount points in mountinfo write space, tab, newline and backslash as octal escapes.
std::string undoOctalEscapes(const std::string& field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '7' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

// The path with its parent resolved (links, "..") but the last name left as it is, so the
// folder itself, which may sit on a hung mount, is never looked at.
std::string canonicalWithoutTouchingLastName(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const size_t slash = path.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (::realpath(parent.c_str(), resolved) == nullptr) {
        return {};
    }
    std::string canonical(resolved);
    if (name.empty()) {
        return canonical;
    }
    if (canonical != "/") {
        canonical += '/';
    }
    return canonical + name;
}

bool mountRootByStatx(const std::string& path) {
    struct statx info {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &info) != 0) {
        return errno == ENOTCONN;  // a network mount whose daemon has died
    }
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace

bool isMountRoot(const std::string& path) {
    const std::string wanted = canonicalWithoutTouchingLastName(path);
    if (wanted.empty()) {
        return false;  // the parent is gone, so nothing can be mounted here
    }
    std::ifstream mountinfo("/proc/self/mountinfo");
    if (!mountinfo) {
        return mountRootByStatx(path);
    }
    // Each line: id parent major:minor root mount-point options ...
    std::string line;
    while (std::getline(mountinfo, line)) {
        std::istringstream fields(line);
        std::string id, parentId, device, root, mountPoint;
        if (fields >> id >> parentId >> device >> root >> mountPoint &&
            undoOctalEscapes(mountPoint) == wanted) {
            return true;
        }
    }
    return false;
}

}  // namespace quorvane
