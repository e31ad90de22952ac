#include "ShareSession.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "LogonRefusals.h"
#include "SmbSemantics.h"

namespace quorvane::tools {

namespace {

using Clock = std::chrono::steady_clock;

// Pauses between attempts to reach a server that is away, growing to the longest.
constexpr auto kFirstPause = std::chrono::milliseconds(100);
constexpr auto kLongestPause = std::chrono::milliseconds(500);

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
        case ENETRESET:
        case EBADF:
            return Loss::Broken;
        case EINVAL:
            // The library's only word for a session whose ticket has expired; also its word for
            // any server status it has no errno for, such as a session or share connection the
            // server dropped (withServer tells those from a caller's own EINVAL).
            return ticket ? Loss::Session : Loss::None;
        default:
            return Loss::None;
    }
}

// A call on an open file never has arguments of the caller's that the server could refuse (the
// kernel checked them): the library's EINVAL there means the server lost the handle.
int onHandle(int result) {
    return result == -EINVAL ? -EIO : result;
}

}  // namespace

bool leadsToSameFile(const OpenFile& file, const struct stat& now) {
    const bool ownSize = now.st_size == file.size ||
                         (file.unsureFrom <= now.st_size && now.st_size <= file.unsureTo);
    return now.st_ino == file.id && ownSize;
}

ShareSession::ShareSession(ShareMount share) : share_(std::move(share)) {}

ShareSession::~ShareSession() {
    for (OpenFile* file : open_) {
        if (file->handle != nullptr && file->connection == connection_ && server_) {
            server_->close(file->handle);
        }
        delete file;
    }
    server_.reset();  // logs off
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
}

void ShareSession::replaceLogin(const SmbLogin& login) {
    ::explicit_bzero(share_.login.password.data(), share_.login.password.size());
    share_.login = login;
    passwordRefused_ = false;
    // The library's context logs on again with the login it was made with, which the server
    // may now refuse: the next request makes a connection with the new one, and open files
    // are opened again on it by path.
    dropConnection(false);
}

void ShareSession::dropConnection(bool abort) {
    if (abort) {
        abortConnections();
    }
    for (OpenFile* file : open_) {
        file->handle = nullptr;  // the library frees them with their context
    }
    server_.reset();
    ++connection_;
    probed_ = false;
}

int ShareSession::withServer(Repeat repeat, const std::function<int()>& call) {
    if (passwordRefused_) {
        noteTrouble(true);
        return -EACCES;
    }
    const auto deadline = Clock::now() + kRequestBound;
    auto pause = kFirstPause;
    bool renewedSession = false;
    for (;;) {
        if (!server_) {
            std::string error;
            server_ = SmbConnection::create(share_.login, kRequestBound, &error);
        }
        int result = 0;
        if (server_) {
            bool refused = false;
            result = callLoggingOn(call, deadline, &refused);
            if (refused) {
                noteTrouble(true);
                return -EACCES;
            }
        } else {
            result = errno == ENETDOWN ? -ENETDOWN : -EIO;
            noteTrouble(true);
        }
        if (result >= 0) {
            if (!probed_) {
                keepConnectionsAlive();
                probed_ = true;
            }
            noteTrouble(false);
            return result;
        }
        Loss loss = lossOf(-result, share_.login.password.empty());
        if (loss == Loss::None && result == -EINVAL && server_ && !answersStill()) {
            // Not the caller's EINVAL: the server no longer takes this connection's session
            // (it was dropped). One fresh logon; a call that fails still says "network".
            loss = Loss::Session;
            result = -ENETRESET;
        }
        if (loss == Loss::None) {
            return result;
        }
        noteTrouble(true);
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

int ShareSession::callLoggingOn(const std::function<int()>& call, Clock::time_point deadline,
                                bool* refused) {
    const bool withPassword = !share_.login.password.empty();
    if (!withPassword || !server_->mustLogOn()) {
        return call();
    }
    // The logon takes its turn with every other of the account's daemons, so that a password
    // the server has just refused is never tried by another at the same time.
    const auto patience =
        std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                 std::chrono::milliseconds(0));
    LogonTurn turn(share_.parts, share_.login, patience);
    if (!turn.mayLogOn()) {
        return -ETIMEDOUT;  // another daemon's logon still waits for the server
    }
    if (turn.refusedAlready(share_.login.heldSince)) {
        passwordRefused_ = true;
        *refused = true;
        return -EACCES;
    }
    const int result = server_->watchingLogon(call, refused);
    if (*refused) {
        turn.noteRefused(share_.login.heldSince);
        passwordRefused_ = true;
    } else if (server_->holdsSession()) {
        turn.noteAccepted();
    } else if (result == -EPERM) {
        // The library's word for a logon that failed, here without the server's refusal: it
        // broke off (a server that stopped answering during it), and the request never left.
        return -EHOSTDOWN;
    }
    return result;
}

bool ShareSession::answersStill() {
    // A connection that is gone would log on again here: the caller's next try does that, in
    // its turn.
    if (server_->mustLogOn()) {
        return false;
    }
    struct stat top {};
    return server_->stat(url("/"), &top) == 0;
}

void ShareSession::noteTrouble(bool trouble) {
    if (trouble == inTrouble_ || troubleMarker_.empty()) {
        return;
    }
    inTrouble_ = trouble;
    if (trouble) {
        const int fd = ::open(troubleMarker_.c_str(),
                              O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd >= 0) {
            ::close(fd);
        }
    } else {
        ::unlink(troubleMarker_.c_str());
    }
}

void ShareSession::remember(OpenFile& file, const struct stat& seen) {
    file.id = seen.st_ino;
    file.size = seen.st_size;
}

int ShareSession::attach(OpenFile& file) {
    if (file.stale) {
        return -ESTALE;
    }
    if (file.handle != nullptr && file.connection == connection_) {
        return 0;
    }
    file.handle = nullptr;
    if (const int opened = server_->open(url(file.path), file.flags, 0, &file.handle);
        opened != 0) {
        return opened;
    }
    file.connection = connection_;
    struct stat now {};
    int seen = server_->stat(file.handle, &now);
    if (seen != 0) {
        seen = server_->stat(url(file.path), &now);
    }
    if (seen != 0) {
        server_->close(file.handle);
        file.handle = nullptr;
        return seen;
    }
    // Another file under the same name (replaced, or changed behind this handle's back while
    // it was away) is not written through this handle.
    if (!leadsToSameFile(file, now)) {
        server_->close(file.handle);
        file.handle = nullptr;
        file.stale = true;
        return -ESTALE;
    }
    file.size = now.st_size;
    return 0;
}

void ShareSession::noteChanged(const std::string& path, off_t size, bool grownOnly) {
    for (OpenFile* file : open_) {
        if (file->path == path) {
            file->size = grownOnly ? std::max(file->size, size) : size;
        }
    }
}

void ShareSession::noteUnsure(const std::string& path, off_t low, off_t high) {
    for (OpenFile* file : open_) {
        if (file->path == path) {
            const bool empty = file->unsureFrom > file->unsureTo;
            file->unsureFrom = empty ? low : std::min(file->unsureFrom, low);
            file->unsureTo = empty ? high : std::max(file->unsureTo, high);
        }
    }
}

int ShareSession::stat(const std::string& path, struct stat* out) {
    return withServer(Repeat::Always, [&] { return server_->stat(url(path), out); });
}

int ShareSession::stat(OpenFile& file, struct stat* out) {
    return onHandle(withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        if (server_->stat(file.handle, out) == 0) {
            remember(file, *out);
            return 0;
        }
        // A write-only handle may not read its own attributes; the name can.
        return server_->stat(url(file.path), out);
    }));
}

int ShareSession::list(const std::string& path,
                       const std::function<bool(const char* name, const struct stat&)>& each) {
    bool delivered = false;
    return withServer(Repeat::Always, [&] {
        const int result = server_->list(url(path), [&](const char* name, const struct stat& s) {
            delivered = true;
            return each(name, s);
        });
        // Entries handed on cannot be taken back, so a listing broken after them is not
        // made again.
        return result < 0 && delivered ? -EIO : result;
    });
}

int ShareSession::open(const std::string& path, int flags, mode_t mode, OpenFile** out) {
    // Creating anew may only be repeated when the first attempt never reached the server.
    const Repeat repeat = (flags & O_EXCL) != 0 ? Repeat::OnlyUnsent : Repeat::Always;
    return withServer(repeat, [&] {
        SmbHandle handle = nullptr;
        if (const int opened = server_->open(url(path), flags & ~O_APPEND, mode, &handle);
            opened != 0) {
            return opened;
        }
        struct stat seen {};
        int found = server_->stat(handle, &seen);
        if (found != 0) {
            found = server_->stat(url(path), &seen);
        }
        if (found != 0) {
            server_->close(handle);
            return found;
        }
        auto* file = new OpenFile;
        file->path = path;
        file->flags = flags & ~(O_CREAT | O_EXCL | O_TRUNC | O_APPEND);
        file->append = (flags & O_APPEND) != 0;
        file->handle = handle;
        file->connection = connection_;
        remember(*file, seen);
        open_.insert(file);
        *out = file;
        return 0;
    });
}

int ShareSession::read(OpenFile& file, char* buffer, size_t size, off_t offset) {
    return onHandle(withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        return static_cast<int>(server_->read(file.handle, buffer, size, offset));
    }));
}

int ShareSession::write(OpenFile& file, const char* buffer, size_t size, off_t offset,
                        off_t* writtenAt) {
    // Writing the same bytes at the same place again is harmless, so a write whose connection
    // broke is made again on the next one, at the place chosen for the first attempt: all of
    // it or an error, never a part.
    std::optional<off_t> at;
    const int result = onHandle(withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        if (!at) {
            // The kernel puts an append at the end it knows; the server's end is further when
            // a write that failed here was done after all.
            at = file.append ? std::max(offset, file.size) : offset;
        }
        const off_t end = *at + static_cast<off_t>(size);
        const ssize_t done = server_->write(file.handle, buffer, size, *at);
        if (done < 0) {
            // Some of it may have reached the file before the connection broke.
            noteUnsure(file.path, file.size, std::max(file.size, end));
            return static_cast<int>(done);
        }
        noteChanged(file.path, *at + done, true);
        return static_cast<int>(done);
    }));
    if (result < 0) {
        file.failedWrite = -result;
    }
    if (writtenAt != nullptr) {
        *writtenAt = at.value_or(offset);
    }
    return result;
}

int ShareSession::truncate(OpenFile& file, off_t size) {
    const int result = onHandle(withServer(Repeat::Always, [&] {
        if (const int attached = attach(file); attached != 0) {
            return attached;
        }
        if (const int cut = server_->truncate(file.handle, size); cut != 0) {
            noteUnsure(file.path, std::min(file.size, size), std::max(file.size, size));
            return cut;
        }
        noteChanged(file.path, size, false);
        return 0;
    }));
    if (result < 0) {
        file.failedWrite = -result;
    }
    return result;
}

int ShareSession::truncate(const std::string& path, off_t size) {
    return withServer(Repeat::Always, [&] {
        SmbHandle handle = nullptr;
        if (const int opened = server_->open(url(path), O_WRONLY, 0, &handle); opened != 0) {
            return opened;
        }
        int result = server_->truncate(handle, size);
        if (const int closed = server_->close(handle); closed != 0 && result == 0) {
            result = closed;
        }
        if (result == 0) {
            noteChanged(path, size, false);
        }
        return result;
    });
}

int ShareSession::flush(OpenFile& file) {
    if (file.stale) {
        return -ESTALE;
    }
    const int failed = file.failedWrite;
    file.failedWrite = 0;
    return -failed;
}

int ShareSession::close(OpenFile* file) {
    int result = file->stale ? -ESTALE : -file->failedWrite;
    if (file->handle != nullptr && file->connection == connection_ && server_) {
        // Every write was acknowledged already: a close that fails loses nothing.
        const int closed = server_->close(file->handle);
        if (closed < 0 && closed != -EINVAL && result == 0 &&
            lossOf(-closed, false) == Loss::None) {
            result = closed;
        }
    }
    open_.erase(file);
    delete file;
    return result;
}

int ShareSession::unlink(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] { return server_->unlink(url(path)); });
}

int ShareSession::mkdir(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] { return server_->mkdir(url(path)); });
}

int ShareSession::rmdir(const std::string& path) {
    return withServer(Repeat::OnlyUnsent, [&] { return server_->rmdir(url(path)); });
}

int ShareSession::rename(const std::string& from, const std::string& to, bool noReplace) {
    return withServer(Repeat::OnlyUnsent, [&] { return renameOnServer(from, to, noReplace); });
}

std::vector<OpenFile*> ShareSession::filesAffectedBy(const std::string& from,
                                                     const std::string& to) const {
    std::vector<OpenFile*> affected;
    for (OpenFile* file : open_) {
        if (isAtOrBelow(file->path, from) || file->path == to) {
            affected.push_back(file);
        }
    }
    return affected;
}

void ShareSession::stepAside(const std::string& from, const std::string& to) {
    // Each handle is opened again on its next use, after a check that its name still leads
    // to its file.
    for (OpenFile* file : filesAffectedBy(from, to)) {
        if (file->handle != nullptr && file->connection == connection_ && server_) {
            server_->close(file->handle);
        }
        file->handle = nullptr;
    }
}

void ShareSession::followRename(const std::string& from, const std::string& to) {
    for (OpenFile* file : open_) {
        if (isAtOrBelow(file->path, from)) {
            file->path = to + file->path.substr(from.size());
        }
    }
}

int ShareSession::renameOnServer(const std::string& from, const std::string& to, bool noReplace) {
    const std::string source = url(from);
    const std::string target = url(to);
    struct stat existing {};
    if (noReplace && server_->stat(target, &existing) == 0) {
        return -EEXIST;
    }
    int result = server_->rename(source, target);
    if ((result == -EBUSY || result == -EACCES) && !filesAffectedBy(from, to).empty()) {
        // Our own handles lack the sharing mode that allows a rename: step aside for it.
        stepAside(from, to);
        result = server_->rename(source, target);
    }
    if (result == 0) {
        followRename(from, to);
    }
    return result;
}

int ShareSession::setTimes(const std::string& path, const struct timespec times[2]) {
    return withServer(Repeat::Always, [&] { return setTimesOnServer(path, times); });
}

int ShareSession::setTimesOnServer(const std::string& path, const struct timespec times[2]) {
    const std::string where = url(path);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat server {};
    if (times[0].tv_nsec == UTIME_OMIT || times[1].tv_nsec == UTIME_OMIT) {
        if (const int found = server_->stat(where, &server); found != 0) {
            return found;
        }
    }
    const timespec* kept[2] = {&server.st_atim, &server.st_mtim};
    timeval values[2];
    for (int i = 0; i < 2; ++i) {
        const timespec& given = times[i];
        values[i] = toTimeval(given.tv_nsec == UTIME_OMIT  ? *kept[i]
                              : given.tv_nsec == UTIME_NOW ? now
                                                           : given);
    }
    return server_->setTimes(where, values);
}

int ShareSession::statvfs(const std::string& path, struct statvfs* out) {
    const int result = withServer(Repeat::Always, [&] { return server_->statvfs(url(path), out); });
    if (result == 0) {
        statvfsInBytes(out);
    }
    return result;
}

}  // namespace quorvane::tools
