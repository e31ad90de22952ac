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
#include "ShareSession.h"
#include "WorkerProtocol.h"

// The mount daemon's connections to the server: worker processes (ShareWorker.h), each with a
// connection of its own, so that one slow request holds up only its own worker. The FUSE
// threads call in here with the calls of ShareSession. An open file stays with the worker that
// opened it (its reopen state lives there), and every handle of one name shares a worker, so
// what one handle writes the others see at once. Calls by path go to the least busy worker. A
// worker that dies is replaced; the files it held answer EIO from then on.
namespace quorvane::tools {

/// A file opened through one of the workers.
struct RemoteFile {
    int worker = 0;
    unsigned generation = 0;  // of the worker process that opened it
    uint64_t id = 0;          // the worker's name for it
    std::string path;         // kept up to date across renames
    off_t nextOffset = -1;    // where the last read ended
    bool writes = false;      // opened for writing
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
    /// Closes and forgets the file.
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
        void lock();
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
        std::atomic<int> waiting{0};    // requests holding or waiting for `busy`
        std::atomic<int> transfers{0};  // of them, reads and writes
        ReadAhead ahead;                // used with `busy` held
    };

    /// Starts a worker and hands it the share and login; with `await`, waits until it is ready.
    bool spawn(Worker& worker, std::string* error, bool await = true);
    bool awaitReady(Worker& worker, std::string* error);
    /// Ends the worker; with `logOff` an idle one logs off first.
    void retire(Worker& worker, bool logOff);
    /// The worker for a call by path: the one holding `path` open, else the least busy.
    int pickFor(const std::string& path, bool transfer);
    /// The reply of worker `index` to `message`, or nothing when the worker died (or, with
    /// `generation`, is no longer that one). The caller counted the request as waiting there
    /// (pickFor does). `writeFrom` goes to the shared area first; a positive result is that
    /// `servedBy` gets the generation of the worker asked.
    std::optional<std::string> ask(int index, const std::string& message, bool transfer,
                                   std::optional<unsigned> generation = std::nullopt,
                                   const char* writeFrom = nullptr, size_t writeSize = 0,
                                   unsigned* servedBy = nullptr);
    /// Sends `message` to a worker held by the caller and waits for its reply; replaces the
    /// worker when it is dead or stuck.
    std::optional<std::string> exchange(Worker& worker, const std::string& message);
    /// A dead or stuck worker's files fail from now on, and a new one takes its place.
    void replace(Worker& worker);
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
    std::mutex listings_;  // the count of listings still arriving
    std::condition_variable listingEnded_;
    int runningListings_ = 0;
};

}  // namespace quorvane::tools
