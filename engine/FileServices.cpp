#include "FileServices.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <system_error>

namespace quorvane::files {

std::string describeError(int errorNumber) {
    return std::generic_category().message(errorNumber);
}

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return contents;
}

std::optional<std::string> createFolders(const std::string& path) {
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            slash = path.size();
        }
        partial = path.substr(0, slash);
        start = slash + 1;
        if (partial.empty()) {
            continue;  // the root "/"
        }
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
            return partial + ": " + describeError(errno);
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path + ": " + describeError(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return path + ": " + describeError(ENOTDIR);
    }
    return std::nullopt;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

Listing listVisibleEntries(const std::string& folder) {
    Listing listing;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        listing.error = folder + ": " + describeError(errno);
        return listing;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            listing.names.emplace_back(entry->d_name);
        }
        errno = 0;
    }
    if (errno != 0) {
        listing.error = folder + ": " + describeError(errno);
        listing.names.clear();
    }
    ::closedir(dir);
    return listing;
}

bool removeEmptyFolder(const std::string& folder, const std::string& name) {
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) {
        return false;
    }
    // rmdir removes nothing but an empty folder, refuses a mount point (EBUSY) and never
    // follows a link, which is exactly the guarantee a removal here must give.
    const bool removed = ::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0;
    ::close(dirfd);
    return removed;
}

}  // namespace quorvane::files
