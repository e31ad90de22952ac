#include "FileServices.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

FileContents readFileUpTo(const std::string& path, size_t maxBytes) {
    FileContents result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = path + ": " + describeError(errno);
        return result;
    }
    const std::string tooLarge =
        path + ": larger than the limit of " + std::to_string(maxBytes) + " bytes";
    struct stat info {};
    const bool typeKnown = ::fstat(fd, &info) == 0;
    // A FIFO or a device reads as anything or nothing at all: never taken for a file's text.
    if (typeKnown && !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.error = path + ": " +
                       (S_ISFIFO(info.st_mode)                           ? "a FIFO"
                        : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                        : S_ISDIR(info.st_mode)                          ? "a folder"
                                                                         : "a socket") +
                       ", not a plain file";
        return result;
    }
    if (typeKnown && static_cast<unsigned long long>(info.st_size) > maxBytes) {
        ::close(fd);
        result.error = tooLarge;  // refused before a byte is read, sparse or not
        return result;
    }
    // The size may be unknown (a pipe, a network file system) or grow meanwhile: read one byte
    // past the limit at most, which is enough to tell that the file is too large.
    std::string contents;
    char buffer[65536];
    while (contents.size() <= maxBytes) {
        const size_t want = std::min(sizeof buffer, maxBytes + 1 - contents.size());
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            result.error = path + ": " + describeError(errno);
            ::close(fd);
            return result;
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (contents.size() > maxBytes) {
        result.error = tooLarge;
        return result;
    }
    result.bytes = std::move(contents);
    return result;
}

namespace {

// mkdir of the whole path first: on every logon after the first the folders exist, and
// one call answers that. Missing parents are made only when the kernel says so.
int makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    const size_t slash = path.find_last_not_of('/', path.rfind('/'));
    if (path.rfind('/') == std::string::npos || slash == std::string::npos) {
        return ENOENT;
    }
    if (const int error = makeFolder(path.substr(0, slash + 1))) {
        return error;
    }
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

}  // namespace

std::optional<std::string> createFolders(const std::string& path) {
    if (const int error = makeFolder(path)) {
        return path + ": " + describeError(error);
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

std::optional<std::string> keepPrivate(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return path + ": " + describeError(errno);
    }
    struct stat info {};
    std::optional<std::string> problem;
    if (::fstat(fd, &info) != 0) {
        problem = path + ": " + describeError(errno);
    } else if (info.st_uid != ::geteuid()) {
        problem = path + " belongs to another user";
    } else if ((info.st_mode & 077) != 0 && ::fchmod(fd, info.st_mode & 0700) != 0) {
        problem = path + ": " + describeError(errno);
    }
    ::close(fd);
    return problem;
}

bool belongsToAnotherUser(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && info.st_uid != ::geteuid();
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

namespace {

// Letters of either case together (ASCII), then byte order.
bool readsBefore(const std::string& a, const std::string& b) {
    const auto folded = [](std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return text;
    };
    const std::string foldedA = folded(a);
    const std::string foldedB = folded(b);
    return foldedA != foldedB ? foldedA < foldedB : a < b;
}

}  // namespace

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
    // In the order a person reads a list of names, whatever order the file system keeps.
    std::sort(listing.names.begin(), listing.names.end(), readsBefore);
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
