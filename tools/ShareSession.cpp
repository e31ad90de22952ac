#include "ShareSession.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include "SmbSemantics.h"

namespace quorvane::tools {

namespace {

using Lock = std::lock_guard<std::mutex>;

// A sequential reader gets this much per request to the server, and keeps it this long.
constexpr size_t kReadAhead = 1024 * 1024;
constexpr auto kReadAheadLife = std::chrono::milliseconds(500);

int failure() {
    return errno != 0 ? -errno : -EIO;
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

timeval toTimeval(const timespec& time) {
    return timeval{time.tv_sec, static_cast<suseconds_t>(time.tv_nsec / 1000)};
}

}  // namespace

ShareSession::ShareSession(ShareMount share, std::unique_ptr<SmbContext> context)
    : share_(std::move(share)), context_(std::move(context)) {}

ShareSession::~ShareSession() {
    Lock held(libraryLock());
    for (OpenFile* file : open_) {
        if (file->handle != nullptr) {
            smbc_getFunctionClose(context())(context(), file->handle);
        }
        delete file;
    }
    context_.reset();  // logs off
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
}

int ShareSession::stat(const std::string& path, struct stat* out) {
    Lock held(libraryLock());
    errno = 0;
    return smbc_getFunctionStat(context())(context(), url(path).c_str(), out) < 0 ? failure() : 0;
}

int ShareSession::stat(OpenFile& file, struct stat* out) {
    Lock held(libraryLock());
    if (file.handle == nullptr) {
        return -EIO;
    }
    errno = 0;
    // A write-only handle may not read its own attributes; the name can.
    if (smbc_getFunctionFstat(context())(context(), file.handle, out) == 0) {
        return 0;
    }
    errno = 0;
    return smbc_getFunctionStat(context())(context(), url(file.path).c_str(), out) < 0 ? failure()
                                                                                       : 0;
}

int ShareSession::list(const std::string& path,
                       const std::function<bool(const char* name, const struct stat&)>& each) {
    Lock held(libraryLock());
    SMBCCTX* c = context();
    errno = 0;
    SMBCFILE* folder = smbc_getFunctionOpendir(c)(c, url(path).c_str());
    if (folder == nullptr) {
        return failure();
    }
    const auto next = smbc_getFunctionReaddirPlus2(c);
    struct stat attributes {};
    errno = 0;
    while (const libsmb_file_info* entry = next(c, folder, &attributes)) {
        if (!each(entry->name, attributes)) {
            break;
        }
        errno = 0;
    }
    const int result = errno != 0 ? -errno : 0;
    smbc_getFunctionClosedir(c)(c, folder);
    return result;
}

int ShareSession::open(const std::string& path, int flags, mode_t mode, OpenFile** out) {
    Lock held(libraryLock());
    errno = 0;
    SMBCFILE* handle = smbc_getFunctionOpen(context())(context(), url(path).c_str(), flags, mode);
    if (handle == nullptr) {
        return failure();
    }
    auto* file = new OpenFile;
    file->path = path;
    file->flags = flags;
    file->handle = handle;
    open_.insert(file);
    *out = file;
    return 0;
}

int ShareSession::read(OpenFile& file, char* buffer, size_t size, off_t offset) {
    Lock held(libraryLock());
    SMBCCTX* c = context();
    if (file.handle == nullptr) {
        return -EIO;
    }
    const auto now = std::chrono::steady_clock::now();
    const bool fresh = now - file.aheadTime < kReadAheadLife;
    if (fresh && offset >= file.aheadOffset &&
        offset + static_cast<off_t>(size) <=
            file.aheadOffset + static_cast<off_t>(file.ahead.size())) {
        ::memcpy(buffer, file.ahead.data() + (offset - file.aheadOffset), size);
        file.nextOffset = offset + static_cast<off_t>(size);
        return static_cast<int>(size);
    }
    const bool sequential = offset == file.nextOffset || offset == 0;
    const size_t wanted = sequential ? std::max(size, kReadAhead) : size;
    std::string fetched(wanted, '\0');
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file.handle, offset, SEEK_SET) < 0) {
        return failure();
    }
    size_t done = 0;
    while (done < wanted) {
        errno = 0;
        const ssize_t n =
            smbc_getFunctionRead(c)(c, file.handle, fetched.data() + done, wanted - done);
        if (n < 0) {
            return failure();
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    fetched.resize(done);
    const size_t given = std::min(size, done);
    ::memcpy(buffer, fetched.data(), given);
    file.nextOffset = offset + static_cast<off_t>(given);
    if (done > size) {
        file.ahead = std::move(fetched);
        file.aheadOffset = offset;
        file.aheadTime = now;
    } else {
        file.ahead.clear();
    }
    return static_cast<int>(given);
}

int ShareSession::write(OpenFile& file, const char* buffer, size_t size, off_t offset) {
    Lock held(libraryLock());
    SMBCCTX* c = context();
    if (file.handle == nullptr) {
        return -EIO;
    }
    dropReadAhead(file.path);
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file.handle, offset, SEEK_SET) < 0) {
        return failure();
    }
    size_t done = 0;
    while (done < size) {
        errno = 0;
        const ssize_t n = smbc_getFunctionWrite(c)(c, file.handle, buffer + done, size - done);
        if (n <= 0) {
            return n < 0 ? failure() : -EIO;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int ShareSession::truncate(OpenFile& file, off_t size) {
    Lock held(libraryLock());
    if (file.handle == nullptr) {
        return -EIO;
    }
    dropReadAhead(file.path);
    errno = 0;
    return smbc_getFunctionFtruncate(context())(context(), file.handle, size) < 0 ? failure() : 0;
}

int ShareSession::truncate(const std::string& path, off_t size) {
    Lock held(libraryLock());
    dropReadAhead(path);
    SMBCCTX* c = context();
    errno = 0;
    SMBCFILE* handle = smbc_getFunctionOpen(c)(c, url(path).c_str(), O_WRONLY, 0);
    if (handle == nullptr) {
        return failure();
    }
    errno = 0;
    int result = smbc_getFunctionFtruncate(c)(c, handle, size) < 0 ? failure() : 0;
    errno = 0;
    if (smbc_getFunctionClose(c)(c, handle) < 0 && result == 0) {
        result = failure();
    }
    return result;
}

int ShareSession::close(OpenFile* file) {
    Lock held(libraryLock());
    int result = 0;
    if (file->handle != nullptr) {
        errno = 0;
        result = smbc_getFunctionClose(context())(context(), file->handle) < 0 ? failure() : 0;
    }
    open_.erase(file);
    delete file;
    return result;
}

int ShareSession::unlink(const std::string& path) {
    Lock held(libraryLock());
    errno = 0;
    return smbc_getFunctionUnlink(context())(context(), url(path).c_str()) < 0 ? failure() : 0;
}

int ShareSession::mkdir(const std::string& path) {
    Lock held(libraryLock());
    errno = 0;
    return smbc_getFunctionMkdir(context())(context(), url(path).c_str(), 0755) < 0 ? failure() : 0;
}

int ShareSession::rmdir(const std::string& path) {
    Lock held(libraryLock());
    errno = 0;
    return smbc_getFunctionRmdir(context())(context(), url(path).c_str()) < 0 ? failure() : 0;
}

void ShareSession::dropReadAhead(const std::string& path) {
    for (OpenFile* file : open_) {
        if (file->path == path) {
            file->ahead.clear();
        }
    }
}

bool ShareSession::reopen(OpenFile& file) {
    errno = 0;
    file.handle = smbc_getFunctionOpen(context())(context(), url(file.path).c_str(),
                                                  file.flags & ~(O_CREAT | O_EXCL | O_TRUNC), 0);
    return file.handle != nullptr;
}

int ShareSession::rename(const std::string& from, const std::string& to, bool noReplace) {
    Lock held(libraryLock());
    SMBCCTX* c = context();
    const std::string source = url(from);
    const std::string target = url(to);
    struct stat existing {};
    if (noReplace && smbc_getFunctionStat(c)(c, target.c_str(), &existing) == 0) {
        return -EEXIST;
    }
    std::vector<OpenFile*> affected;
    for (OpenFile* file : open_) {
        if (isAtOrBelow(file->path, from) || file->path == to) {
            affected.push_back(file);
        }
    }
    errno = 0;
    int result =
        smbc_getFunctionRename(c)(c, source.c_str(), c, target.c_str()) < 0 ? failure() : 0;
    if (result != 0 && !affected.empty() && (result == -EBUSY || result == -EACCES)) {
        // Our own handles lack the sharing mode that allows a rename: step aside for it.
        for (OpenFile* file : affected) {
            if (file->handle != nullptr) {
                smbc_getFunctionClose(c)(c, file->handle);
                file->handle = nullptr;
            }
        }
        errno = 0;
        result =
            smbc_getFunctionRename(c)(c, source.c_str(), c, target.c_str()) < 0 ? failure() : 0;
        const int savedErrno = errno;
        for (OpenFile* file : affected) {
            if (result == 0 && isAtOrBelow(file->path, from)) {
                file->path = to + file->path.substr(from.size());
            }
            reopen(*file);
        }
        errno = savedErrno;
        return result;
    }
    if (result == 0) {
        for (OpenFile* file : affected) {
            if (isAtOrBelow(file->path, from)) {
                file->path = to + file->path.substr(from.size());
            }
        }
    }
    return result;
}

int ShareSession::setTimes(const std::string& path, const struct timespec times[2]) {
    Lock held(libraryLock());
    SMBCCTX* c = context();
    const std::string where = url(path);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat server {};
    errno = 0;
    if ((times[0].tv_nsec == UTIME_OMIT || times[1].tv_nsec == UTIME_OMIT) &&
        smbc_getFunctionStat(c)(c, where.c_str(), &server) < 0) {
        return failure();
    }
    const timespec* kept[2] = {&server.st_atim, &server.st_mtim};
    timeval values[2];
    for (int i = 0; i < 2; ++i) {
        const timespec& given = times[i];
        values[i] = toTimeval(given.tv_nsec == UTIME_OMIT  ? *kept[i]
                              : given.tv_nsec == UTIME_NOW ? now
                                                           : given);
    }
    errno = 0;
    return smbc_getFunctionUtimes(c)(c, where.c_str(), values) < 0 ? failure() : 0;
}

int ShareSession::statvfs(const std::string& path, struct statvfs* out) {
    Lock held(libraryLock());
    std::string where = url(path);
    errno = 0;
    if (smbc_getFunctionStatVFS(context())(context(), where.data(), out) < 0) {
        return failure();
    }
    statvfsInBytes(out);
    return 0;
}

}  // namespace quorvane::tools
