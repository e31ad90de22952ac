#include "ShareSession.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "SmbSemantics.h"

namespace quorvane::tools {

namespace {

using Lock = std::lock_guard<std::mutex>;
using Clock = std::chrono::steady_clock;

// A sequential reader gets this much per request to the server, and keeps it this long.
constexpr size_t kReadAhead = 1024 * 1024;
constexpr auto kReadAheadLife = std::chrono::milliseconds(500);
// Pauses between attempts to reach a server that is away, growing to the longest.
constexpr auto kFirstPause = std::chrono::milliseconds(100);
constexpr auto kLongestPause = std::chrono::milliseconds(500);

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

enum class Loss {
    None,
    Unsent,   // no connection could be made: the request never left
    Broken,   // the connection failed under the request: it may or may not have been done
    Session,  // the server no longer takes the logon (an expired Kerberos ticket)
};

Loss lossOf(int error, bool ticket) {
    switch (error) {
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN:
            return Loss::Unsent;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE:
        case ETIMEDOUT:
        case ENOTCONN:
        case EBADF:
            return Loss::Broken;
        case EINVAL:
            // The library's only word for a session whose ticket has expired.
            return ticket ? Loss::Session : Loss::None;
        default:
            return Loss::None;
    }
}

}  // namespace

ShareSession::ShareSession(ShareMount share, std::unique_ptr<SmbContext> context)
    : share_(std::move(share)), context_(std::move(context)) {}

ShareSession::~ShareSession() {
    Lock held(libraryLock());
    for (OpenFile* file : open_) {
        if (file->handle != nullptr && file->connection == connection_ && context_) {
            smbc_getFunctionClose(context())(context(), file->handle);
        }
        delete file;
    }
    context_.reset();  // logs off
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
}

void ShareSession::replaceLogin(const SmbLogin& login) {
    const Lock held(libraryLock());
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
    share_.login = login;
}

void ShareSession::dropConnection(bool abort) {
    if (abort) {
        abortConnections();
    }
    for (OpenFile* file : open_) {
        file->handle = nullptr;  // the library frees them with their context
    }
    context_.reset();
    ++connection_;
    probed_ = false;
}

int ShareSession::withServer(Repeat repeat, const std::function<int()>& call) {
    Lock held(libraryLock());
    const auto deadline = Clock::now() + kRequestBound;
    auto pause = kFirstPause;
    bool renewedSession = false;
    for (;;) {
        if (!context_) {
            std::string error;
            context_ = SmbContext::create(share_.login, kRequestBound, &error);
        }
        int result = 0;
        if (context_) {
            errno = 0;
            result = call();
        } else {
            result = errno == ENETDOWN ? -ENETDOWN : -EIO;
        }
        if (result >= 0) {
            if (!probed_) {
                keepConnectionsAlive();
                probed_ = true;
            }
            return result;
        }
        const Loss loss = lossOf(-result, share_.login.password.empty());
        if (loss == Loss::None) {
            return result;
        }
        if (loss == Loss::Session) {
            // Log on afresh once, with the ticket the user holds now.
            if (renewedSession) {
                return result;
            }
            renewedSession = true;
            dropConnection(false);
            continue;
        }
        // Whatever the old connection still holds unsent must never arrive.
        dropConnection(true);
        if ((repeat == Repeat::OnlyUnsent && loss != Loss::Unsent) ||
            Clock::now() + pause >= deadline) {
            return result;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, kLongestPause);
    }
}

void ShareSession::remember(OpenFile& file, const struct stat& seen) {
    file.id = seen.st_ino;
    file.size = seen.st_size;
}

bool ShareSession::reopen(OpenFile& file) {
    errno = 0;
    file.handle = smbc_getFunctionOpen(context())(context(), url(file.path).c_str(), file.flags, 0);
    file.connection = connection_;
    return file.handle != nullptr;
}

int ShareSession::attach(OpenFile& file) {
    if (file.stale) {
        return -ESTALE;
    }
    if (file.handle != nullptr && file.connection == connection_) {
        return 0;
    }
    SMBCCTX* c = context();
    if (!reopen(file)) {
        return failure();
    }
    struct stat now {};
    errno = 0;
    if (smbc_getFunctionFstat(c)(c, file.handle, &now) != 0 &&
        smbc_getFunctionStat(c)(c, url(file.path).c_str(), &now) != 0) {
        const int result = failure();
        smbc_getFunctionClose(c)(c, file.handle);
        file.handle = nullptr;
        return result;
    }
    // Another file under the same name (replaced, or changed behind this handle's back while
    // it was away) is not written through this handle.
    if (now.st_ino != file.id || now.st_size != file.size) {
        smbc_getFunctionClose(c)(c, file.handle);
        file.handle = nullptr;
        file.stale = true;
        return -ESTALE;
    }
    return 0;
}

void ShareSession::noteChanged(const std::string& path, off_t size, bool grownOnly) {
    for (OpenFile* file : open_) {
        if (file->path == path) {
            file->ahead.clear();
            file->size = grownOnly ? std::max(file->size, size) : size;
        }
    }
}

int ShareSession::stat(const std::string& path, struct stat* out) {
    return withServer(Repeat::Always, [&] {
        return smbc_getFunctionStat(context())(context(), url(path).c_str(), out) < 0 ? failure()
                                                                                      : 0;
    });
}

int ShareSession::stat(OpenFile& file, struct stat* out) {
    return withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        SMBCCTX* c = context();
        errno = 0;
        if (smbc_getFunctionFstat(c)(c, file.handle, out) == 0) {
            remember(file, *out);
            return 0;
        }
        // A write-only handle may not read its own attributes; the name can.
        errno = 0;
        return smbc_getFunctionStat(c)(c, url(file.path).c_str(), out) < 0 ? failure() : 0;
    });
}

int ShareSession::list(const std::string& path,
                       const std::function<bool(const char* name, const struct stat&)>& each) {
    return withServer(Repeat::Always, [&] {
        SMBCCTX* c = context();
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
    });
}

int ShareSession::open(const std::string& path, int flags, mode_t mode, OpenFile** out) {
    // Creating anew may only be repeated when the first attempt never reached the server.
    const Repeat repeat = (flags & O_EXCL) != 0 ? Repeat::OnlyUnsent : Repeat::Always;
    return withServer(repeat, [&] {
        SMBCCTX* c = context();
        SMBCFILE* handle = smbc_getFunctionOpen(c)(c, url(path).c_str(), flags, mode);
        if (handle == nullptr) {
            return failure();
        }
        struct stat seen {};
        errno = 0;
        if (smbc_getFunctionFstat(c)(c, handle, &seen) != 0 &&
            smbc_getFunctionStat(c)(c, url(path).c_str(), &seen) != 0) {
            const int result = failure();
            smbc_getFunctionClose(c)(c, handle);
            return result;
        }
        auto* file = new OpenFile;
        file->path = path;
        file->flags = flags & ~(O_CREAT | O_EXCL | O_TRUNC);
        file->handle = handle;
        file->connection = connection_;
        remember(*file, seen);
        open_.insert(file);
        *out = file;
        return 0;
    });
}

int ShareSession::read(OpenFile& file, char* buffer, size_t size, off_t offset) {
    const auto now = Clock::now();
    {
        Lock held(libraryLock());
        const bool fresh = now - file.aheadTime < kReadAheadLife;
        if (fresh && offset >= file.aheadOffset &&
            offset + static_cast<off_t>(size) <=
                file.aheadOffset + static_cast<off_t>(file.ahead.size())) {
            ::memcpy(buffer, file.ahead.data() + (offset - file.aheadOffset), size);
            file.nextOffset = offset + static_cast<off_t>(size);
            return static_cast<int>(size);
        }
    }
    return withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        SMBCCTX* c = context();
        const bool sequential = offset == file.nextOffset || offset == 0;
        const size_t wanted = sequential ? std::max(size, kReadAhead) : size;
        std::string fetched(wanted, '\0');
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
    });
}

int ShareSession::write(OpenFile& file, const char* buffer, size_t size, off_t offset) {
    // Writing the same bytes at the same place again is harmless, so a write whose connection
    // broke is made again on the next one.
    const int result = withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        SMBCCTX* c = context();
        noteChanged(file.path, 0, true);
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
        noteChanged(file.path, offset + static_cast<off_t>(done), true);
        return static_cast<int>(done);
    });
    if (result < 0) {
        Lock held(libraryLock());
        file.failedWrite = -result;
    }
    return result;
}

int ShareSession::truncate(OpenFile& file, off_t size) {
    const int result = withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        noteChanged(file.path, 0, true);
        if (smbc_getFunctionFtruncate(context())(context(), file.handle, size) < 0) {
            return failure();
        }
        noteChanged(file.path, size, false);
        return 0;
    });
    if (result < 0) {
        Lock held(libraryLock());
        file.failedWrite = -result;
    }
    return result;
}

int ShareSession::truncate(const std::string& path, off_t size) {
    return withServer(Repeat::Always, [&] {
        SMBCCTX* c = context();
        noteChanged(path, 0, true);
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
        if (result == 0) {
            noteChanged(path, size, false);
        }
        return result;
    });
}

int ShareSession::flush(OpenFile& file) {
    Lock held(libraryLock());
    return -file.failedWrite;
}

int ShareSession::close(OpenFile* file) {
    Lock held(libraryLock());
    int result = -file->failedWrite;
    if (file->handle != nullptr && file->connection == connection_ && context_) {
        errno = 0;
        // Every write was acknowledged already: a close that fails loses nothing.
        if (smbc_getFunctionClose(context())(context(), file->handle) < 0 && result == 0 &&
            lossOf(errno, false) == Loss::None) {
            result = failure();
        }
    }
    open_.erase(file);
    delete file;
    return result;
}

int ShareSession::unlink(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] {
        return smbc_getFunctionUnlink(context())(context(), url(path).c_str()) < 0 ? failure() : 0;
    });
}

int ShareSession::mkdir(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] {
        return smbc_getFunctionMkdir(context())(context(), url(path).c_str(), 0755) < 0 ? failure()
                                                                                        : 0;
    });
}

int ShareSession::rmdir(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] {
        return smbc_getFunctionRmdir(context())(context(), url(path).c_str()) < 0 ? failure() : 0;
    });
}

int ShareSession::rename(const std::string& from, const std::string& to, bool noReplace) {
    return withServer(Repeat::OnlyUnsent, [&] { return renameOnServer(from, to, noReplace); });
}

int ShareSession::renameOnServer(const std::string& from, const std::string& to, bool noReplace) {
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
            if (file->handle != nullptr && file->connection == connection_) {
                smbc_getFunctionClose(c)(c, file->handle);
            }
            file->handle = nullptr;
        }
        errno = 0;
        result =
            smbc_getFunctionRename(c)(c, source.c_str(), c, target.c_str()) < 0 ? failure() : 0;
        // Each handle is opened again on its next use, after a check that its name still
        // leads to its file.
        for (OpenFile* file : affected) {
            if (result == 0 && isAtOrBelow(file->path, from)) {
                file->path = to + file->path.substr(from.size());
            }
        }
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
    return withServer(Repeat::Always, [&] { return setTimesOnServer(path, times); });
}

int ShareSession::setTimesOnServer(const std::string& path, const struct timespec times[2]) {
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
    const int result = withServer(Repeat::Always, [&] {
        std::string where = url(path);
        return smbc_getFunctionStatVFS(context())(context(), where.data(), out) < 0 ? failure() : 0;
    });
    if (result == 0) {
        statvfsInBytes(out);
    }
    return result;
}

}  // namespace quorvane::tools
