#include "SmbSemantics.h"

#include <errno.h>
#include <libsmbclient.h>
#include <string.h>

#include "SmbFilesystem.h"

namespace quorvane::tools {

int refusedPath(const char* path) {
    if (path == nullptr) {
        return -ENOENT;
    }
    const size_t length = ::strlen(path);
    if (length > kLongestPath + 1) {
        return -ENAMETOOLONG;
    }
    bool badCharacter = false;
    size_t run = 0;
    for (const char* p = path; *p != '\0'; ++p) {
        run = *p == '/' ? 0 : run + 1;
        if (run > kLongestName) {
            return -ENAMETOOLONG;
        }
        badCharacter = badCharacter || ::strchr("\\:*?\"<>|", *p) != nullptr;
    }
    return badCharacter ? -EINVAL : 0;
}

void statvfsInBytes(struct statvfs* out) {
    unsigned long unit = out->f_bsize;
    if ((out->f_flag & SMBC_VFS_FEATURE_NO_UNIXCIFS) != 0 && out->f_frsize != 0) {
        unit *= out->f_frsize;
    }
    out->f_bsize = unit;
    out->f_frsize = unit;
    out->f_flag = 0;  // the library's own feature bits, not mount flags
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

}  // namespace quorvane::tools
