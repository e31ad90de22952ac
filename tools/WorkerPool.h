#pragma once

#include <semaphore.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ReadAhead.h"
#include "ServerSilence.h"
#include "ShareSession.h"
#include "WorkerProtocol.h"

// The mount daemon's connections to the server: worker processes (ShareWorker.h), each with a
// connection of its own, so that one slow request holds up only its own worker. The FUSE
// threads call in here with the calls of ShareSession. An open file stays with the worker that
// opened it (its reopen state lives there), and every handle of one name shares a worker, so
// what one handle writes the others see at once. Calls by path go to the least busy worker. A
// worker that dies is replaced; the files it held answer EIO from then on.
//
// Each call returns by the deadline in force for it (CallDeadline.h), ETIMEDOUT once it has
// passed, whether it waited for a worker or for the worker's reply. A worker whose reply comes
// after that stays taken until the reply is in and whatever it left is undone (a file it opened
// is closed again); one that does not reply within kStuckWorker is replaced. While the server
// is silent (ServerSilence.h) a lookup waits far less.
namespace quorvane::tools {

/// A file opened through one of the workers.
struct RemoteFile {
    int worker = 0;
    unsigned generation = 0;  // of the worker process that opened it
    uint64_t id = 0;          // the worker's name for it
    std::string path;         // kept up to date across renames
    off_t nextOffset = -1;    // where the last read ended
    bool writes = false;      // opened for writing
    /// A write or truncation whose reply came too late for its caller (it may still have
    /// been done), told at the next flush or close; kept under the pool's lock.
    int lateChange = 0;
    /// The latest read whose reply came too late for its caller: when, and the bytes it asked.
    std::atomic<std::chrono::steady_clock::rep> readTimedOutAt{0};
    std::atomic<off_t> readTimedOutFrom{0};
    std::atomic<off_t> readTimedOutTo{0};
};

/// Takes a folder's entries as they arrive from a worker.
class ListingSink {
public:
    virtual ~ListingSink() = default;
    virtual void take(const char* name, const struct stat& attributes) = 0;
    /// After each part; with `complete` the last, whose `result` is the listing's.
    virtual void partEnded(bool complete, int result) = 0;
};

class WorkerPool {
public:
    using Clock = std::chrono::steady_clock;

    /// Shows the given argument list for this process (what a forked worker shows).
    using Retitle = std::function<void(const std::vector<std::string>&)>;

    /// `source` is shown in the workers' argument lists.
    WorkerPool(ShareMount share, std::string source, Retitle retitle);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Starts every worker; false (and `error`) when one cannot start. Called while this
    /// process runs no other thread: these workers are forked, later ones started anew.
    bool start(std::string* error);

    const ShareMount& share() const { return share_; }
    /// The login the workers use for their next logon.
    SmbLogin login() const;
    /// Hands every worker a new login (a password changed on the server, say), used from
    /// their next logon on; the connections they hold stay while they work.
    void replaceLogin(const SmbLogin& login);

    int stat(const std::string& path, struct stat* out);
    int stat(RemoteFile& file, struct stat* out);
    /// Hands `sink` the folder's entries. A large folder comes in parts: the first is taken
    /// here and its result returned; the rest follow on a thread of the pool's own, so that
    /// the caller can pass on the first entries meanwhile.
    int list(const std::string& path, const std::shared_ptr<ListingSink>& sink);
    int open(const std::string& path, int flags, mode_t mode, RemoteFile** out);
    int read(RemoteFile& file, char* buffer, size_t size, off_t offset);
    /// Writes all of `buffer` or fails; `writtenAt` gets where it went (see ShareSession::write).
    int write(RemoteFile& file, const char* buffer, size_t size, off_t offset,
              off_t* writtenAt = nullptr);
    int truncate(RemoteFile& file, off_t size);
    int truncate(const std::string& path, off_t size);
    int flush(RemoteFile& file);
    /// Whether an open file of the same name other than `file` may write to it.
    bool othersWrite(const RemoteFile& file) const;
    /// Closes and forgets the file; a worker busy past the deadline gets the close later.
    int close(RemoteFile* file);
    int unlink(const std::string& path);
    int mkdir(const std::string& path);
    int rmdir(const std::string& path);
    int rename(const std::string& from, const std::string& to, bool noReplace);
    int setTimes(const std::string& path, const struct timespec times[2]);
    int statvfs(const std::string& path, struct statvfs* out);

private:
    /// A lock that another thread may release: a listing's last parts are taken in, and the
    /// worker let go, by a thread other than the one that asked. As cheap as a mutex when free.
    class Baton {
    public:
        Baton() { ::sem_init(&free_, 0, 1); }
        ~Baton() { ::sem_destroy(&free_); }
        Baton(const Baton&) = delete;
        Baton& operator=(const Baton&) = delete;
        /// False when `deadline` passed first.
        bool lockUntil(Clock::time_point deadline);
        void unlock() { ::sem_post(&free_); }

    private:
        sem_t free_;
    };
    struct Worker {
        Baton busy;  // held for one request and its reply
        pid_t pid = -1;
        int socket = -1;
        char* shared = nullptr;
        std::atomic<unsigned> generation{0};
        std::atomic<int> waiting{0};       // requests holding or waiting for `busy`
        std::atomic<int> transfers{0};     // of them, reads and writes
        std::atomic<bool> overdue{false};  // its reply came too late and is still awaited
        ReadAhead ahead;                   // used with `busy` held
    };

    /// Starts a worker and hands it the share and login; with `await`, waits until it is ready.
    bool spawn(Worker& worker, std::string* error, bool await = true);
    bool awaitReady(Worker& worker, std::string* error);
    /// Ends the worker; with `logOff` an idle one logs off first.
    void retire(Worker& worker, bool logOff);
    /// The worker for a call by path: the one holding `path` open, else the least busy.
    int pickFor(const std::string& path, bool transfer);
    /// Until when a request `op` of a call with `deadline` waits, from `now`, for a worker
    /// (`forReply` false) or for its reply.
    Clock::time_point waitUntil(worker::Op op, Clock::time_point deadline, Clock::time_point now,
                                bool forReply) const;
    /// Takes `worker` for a request `op` of the current call: false when it stays busy past
    /// the time the call may wait for it. A `repeat` of a request that has just run out of
    /// time on it waits only briefly.
    bool take(Worker& worker, worker::Op op, bool repeat = false);
    /// A worker's reply, or why there is none: -EIO when the worker died (or is no longer
    /// the one asked), -ETIMEDOUT when the call's deadline passed first.
    struct Reply {
        std::string bytes;
        int error = 0;
        bool sent = false;  // the request reached the worker
    };
    /// The reply of worker `index` to `message`. The caller counted the request as waiting
    /// there (pickFor does). `generation`, when given, is the worker that must answer;
    /// `writeFrom` goes to the shared area first; `servedBy` gets the generation asked.
    Reply ask(int index, const std::string& message, bool transfer,
              std::optional<unsigned> generation = std::nullopt, const char* writeFrom = nullptr,
              size_t writeSize = 0, unsigned* servedBy = nullptr);
    /// Sends `message` to a worker held by the caller and waits for its reply until the call's
    /// deadline; replaces the worker when it is dead. When the deadline passes first, the
    /// worker stays taken and its count of waiting requests stays up until its late reply has
    /// been taken in on a thread of its own (`settleLate`): the caller must not let it go.
    Reply exchange(Worker& worker, const std::string& message, bool transfer);
    /// Takes in the reply to `message` that came too late for its caller and undoes what it
    /// left behind, then lets the worker go; a worker that stays silent past kStuckWorker
    /// since `sent` is replaced.
    void settleLate(Worker& worker, const std::string& message, bool transfer,
                    Clock::time_point sent);
    /// `ask` for a message the worker must get even when it is busy past the call's deadline
    /// (a close, a rename to follow): then it goes on a thread of its own once the worker is
    /// free.
    Reply deliver(int index, const std::string& message, unsigned generation);
    /// What a reply to `message` with `result` tells of the server, at `at`.
    void noteServer(const std::string& message, int64_t result, Clock::time_point at);
    /// A dead or stuck worker's files fail from now on, and a new one takes its place.
    void replace(Worker& worker);
    /// Runs `task` on a thread of its own, counted until it ends (the pool waits for them).
    void inBackground(std::function<void()> task);
    /// A write or truncation of `file` that ended in `result` came back too late when
    /// ETIMEDOUT: it may have been done all the same, and the next flush or close says so.
    void noteLate(RemoteFile& file, int result);
    /// That failure, told once (0 when none).
    int lateChangeOf(RemoteFile& file);
    /// The workers (index and generation, in their order) holding files that a rename of
    /// `from` to `to` touches.
    std::vector<std::pair<int, unsigned>> holdersOf(const std::string& from,
                                                    const std::string& to) const;
    /// Open files at or below `from` are called `to` from now on.
    void followRename(const std::string& from, const std::string& to);
    /// Takes the rest of a listing from `worker`, then lets the worker go.
    void finishListing(Worker& worker, std::shared_ptr<ListingSink> sink);
    /// A call by path; `repeatable` ones are made again on a new worker if theirs died.
    int askByPath(const std::string& path, const std::string& message, bool repeatable,
                  std::string* reply = nullptr);
    /// A write or truncation of an open file is under way from `beginChange` to `endChange`;
    /// a read of the same name waits for those begun before it (`awaitChanges`), so that it
    /// never gets the file from before a change the kernel already counts as made (it has the
    /// written pages, or the size, already).
    uint64_t beginChange(const std::string& path);
    void endChange(const std::string& path, uint64_t change);
    void awaitChanges(const RemoteFile& file);
    /// The file's name now (a rename elsewhere may change it).
    std::string pathOf(const RemoteFile& file) const;
    /// A call on an open file, by the worker that opened it; EIO once that worker is gone.
    int askAbout(RemoteFile& file, const std::string& message, bool transfer,
                 std::string* reply = nullptr, const char* writeFrom = nullptr,
                 size_t writeSize = 0);

    ShareMount share_;
    std::string source_;
    Retitle retitle_;
    bool forking_ = true;
    std::array<Worker, worker::kWorkers> workers_;
    mutable std::mutex state_;  // the login and the open files
    std::set<RemoteFile*> files_;
    std::map<std::string, std::set<uint64_t>> changing_;  // writes and truncations under way
    uint64_t changes_ = 0;                                // the number of the last one begun
    std::condition_variable changed_;                     // one of them ended
    std::atomic<bool> closing_{false};
    ServerSilence silence_;
    std::mutex background_;  // the count of threads taking in listings and late replies
    std::condition_variable backgroundEnded_;
    int runningInBackground_ = 0;
};

}  // namespace quorvane::tools
