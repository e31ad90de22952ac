#define FUSE_USE_VERSION 312
#include "SmbFilesystem.h"

#include <errno.h>
#include <fcntl.h>
#include <fuse3/fuse.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "CallDeadline.h"
#include "ListedAttributes.h"
#include "MountRelease.h"
#include "SmbSemantics.h"

namespace quorvane::tools {

// Tells the kernel to forget the pages and attributes it keeps of a file, from a thread of its
// own: the kernel waits for the pages a write request still holds, so the FUSE thread serving
// that request must not wait for it before its reply has gone.
class KernelCacheDrops {
public:
    explicit KernelCacheDrops(struct fuse* fuse) : fuse_(fuse), thread_([this] { run(); }) {}
    ~KernelCacheDrops() {
        {
            const std::lock_guard<std::mutex> held(lock_);
            ending_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    KernelCacheDrops(const KernelCacheDrops&) = delete;
    KernelCacheDrops& operator=(const KernelCacheDrops&) = delete;

    void drop(const std::string& path) {
        {
            const std::lock_guard<std::mutex> held(lock_);
            paths_.push_back(path);
        }
        wake_.notify_all();
    }

private:
    void run() {
        std::unique_lock<std::mutex> held(lock_);
        for (;;) {
            wake_.wait(held, [&] { return ending_ || !paths_.empty(); });
            if (ending_) {
                return;
            }
            const std::string path = std::move(paths_.front());
            paths_.pop_front();
            held.unlock();
            fuse_invalidate_path(fuse_, path.c_str());  // ENOENT: the kernel holds nothing
            held.lock();
        }
    }

    struct fuse* fuse_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::string> paths_;
    bool ending_ = false;
    std::thread thread_;
};

namespace {

constexpr unsigned kLargestTransfer = worker::kLargestTransfer;
// The name libfuse gives a file removed while open, until its last close.
constexpr const char* kHiddenPrefix = ".fuse_hidden";

SmbFilesystem::Context& context() {
    return *static_cast<SmbFilesystem::Context*>(fuse_get_context()->private_data);
}

WorkerPool& workers() {
    return context().workers;
}

// What this mount's listings brought (one mount per daemon process).
std::mutex listedLock;
ListedAttributes listed;

ListedAttributes::Clock::time_point now() {
    return ListedAttributes::Clock::now();
}

void forgetListed(const char* path) {
    if (path != nullptr) {
        const std::lock_guard<std::mutex> held(listedLock);
        listed.changed(path);
    }
}

// Held over every change made through the mount, whatever its outcome: what was listed of the
// path is forgotten before the change and again after it, as a listing that began while the
// change was under way holds what was there before.
class ListedForgotten {
public:
    explicit ListedForgotten(const char* path) : path_(path) { forgetListed(path_); }
    ~ListedForgotten() { forgetListed(path_); }
    ListedForgotten(const ListedForgotten&) = delete;
    ListedForgotten& operator=(const ListedForgotten&) = delete;

private:
    const char* path_;
};

RemoteFile* openFileOf(const fuse_file_info* info) {
    return reinterpret_cast<RemoteFile*>(static_cast<uintptr_t>(info->fh));
}

// The server answers "not found" both for a missing name and for a path through a file. The
// kernel stops at files it knows of; this tells the two apart when a folder became a file on
// the server since the kernel looked (failures only: the nearest existing folder above).
int notFoundOrNotFolder(const char* path, int result) {
    std::string above = path;
    for (size_t slash = above.rfind('/');
         result == -ENOENT && slash != 0 && slash != std::string::npos; slash = above.rfind('/')) {
        above.resize(slash);
        struct stat server {};
        const int found = workers().stat(above, &server);
        if (found != -ENOENT) {
            return found == 0 && !S_ISDIR(server.st_mode) ? -ENOTDIR : result;
        }
    }
    return result;
}

void fillStat(const ShareMount& share, const struct stat& server, struct stat* out) {
    *out = {};
    const bool folder = S_ISDIR(server.st_mode);
    out->st_mode = folder ? S_IFDIR | share.folderMode : S_IFREG | share.fileMode;
    if (!folder && (server.st_mode & S_IWUSR) == 0) {
        out->st_mode &= ~0222u;  // read-only on the server
    }
    out->st_ino = server.st_ino;  // the server's file id
    out->st_nlink = folder ? 2 : 1;
    out->st_uid = share.owner;
    out->st_gid = share.group;
    out->st_size = server.st_size;
    out->st_blocks = server.st_blocks;
    out->st_blksize = kLargestTransfer;
    out->st_atim = server.st_atim;
    out->st_mtim = server.st_mtim;
    out->st_ctim = server.st_ctim;
}

void* onInit(fuse_conn_info* connection, fuse_config* config) {
    // The server's file ids, stable across the kernel's cache and remounts (tar, rsync and
    // find -samefile compare them).
    config->use_ino = 1;
    config->nullpath_ok = 0;
    // A file removed while open is renamed aside and removed at its last close, so that it
    // stays readable meanwhile, as on a local disk.
    config->hard_remove = 0;
    config->kernel_cache = 0;
    config->auto_cache = 0;
    config->direct_io = 0;
    config->attr_timeout = 1.0;
    config->entry_timeout = 1.0;
    config->negative_timeout = 0.0;
    connection->max_read = kLargestTransfer;  // as the mount option says
    connection->max_write = kLargestTransfer;
    connection->max_readahead = kLargestTransfer;
    connection->want |= FUSE_CAP_READDIRPLUS | FUSE_CAP_ATOMIC_O_TRUNC;
    connection->want &= ~(FUSE_CAP_READDIRPLUS_AUTO | FUSE_CAP_WRITEBACK_CACHE);
    return fuse_get_context()->private_data;
}

int onGetattr(const char* path, struct stat* out, fuse_file_info* info) {
    WorkerPool& share = workers();
    struct stat server {};
    int result = 0;
    if (info != nullptr && info->fh != 0) {
        result = share.stat(*openFileOf(info), &server);
    } else if (path == nullptr) {
        result = -ENOENT;
    } else if (const int refused = refusedPath(path); refused != 0) {
        result = refused;
    } else {
        std::unique_lock<std::mutex> held(listedLock);
        if (const std::optional<struct stat> known = listed.find(path, now())) {
            *out = *known;
            return 0;
        }
        held.unlock();
        result = share.stat(path, &server);
    }
    if (result == 0) {
        fillStat(share.share(), server, out);
    }
    return result;
}

// A folder's entries with their attributes, read in one pass when the folder is opened. A
// large folder arrives in parts, and the first are handed out while the rest are on their way.
class FolderListing : public ListingSink {
public:
    FolderListing(const ShareMount& share, std::string path)
        : path(std::move(path)), share_(share) {
        began();
    }
    ~FolderListing() {
        const std::lock_guard<std::mutex> held(listedLock);
        listed.closed(id_, now());
    }

    void take(const char* name, const struct stat& server) override {
        if (::strcmp(name, ".") != 0 && ::strcmp(name, "..") != 0 &&
            ::strncmp(name, kHiddenPrefix, ::strlen(kHiddenPrefix)) != 0) {
            struct stat shown {};
            fillStat(share_, server, &shown);
            arriving_.emplace_back(name, shown);
        }
    }
    void partEnded(bool last, int status) override {
        {
            const std::lock_guard<std::mutex> held(listedLock);
            for (const auto& [name, attributes] : arriving_) {
                listed.add(id_, name, attributes);
            }
        }
        const std::lock_guard<std::mutex> held(lock);
        for (auto& entry : arriving_) {
            entries.push_back(std::move(entry));
        }
        arriving_.clear();
        complete = last;
        result = status;
        grown.notify_all();
    }
    /// Forgets what was listed before a new listing starts.
    void clear() {
        {
            const std::lock_guard<std::mutex> held(listedLock);
            listed.closed(id_, now());
        }
        began();
        const std::lock_guard<std::mutex> held(lock);
        entries.clear();
        complete = false;
        result = 0;
    }

    const std::string path;
    std::mutex lock;  // for what follows
    std::condition_variable grown;
    std::vector<std::pair<std::string, struct stat>> entries;
    bool complete = false;
    int result = 0;
    bool handedOut = false;  // used by the FUSE threads only

private:
    void began() {
        const std::lock_guard<std::mutex> held(listedLock);
        id_ = listed.began(path, now());
    }

    const ShareMount& share_;
    uint64_t id_ = 0;                                            // in `listed`
    std::vector<std::pair<std::string, struct stat>> arriving_;  // the part being taken
};

// Waits until the listing holds more than `count` entries or is complete; its result then,
// or ETIMEDOUT when the call's deadline passed first (the rest may come for the next call).
int awaitEntries(FolderListing& listing, size_t count) {
    std::unique_lock<std::mutex> held(listing.lock);
    const bool arrived = listing.grown.wait_until(held, CallDeadline::current(), [&] {
        return listing.complete || listing.entries.size() > count;
    });
    return !arrived ? -ETIMEDOUT : listing.entries.size() > count ? 0 : listing.result;
}

std::shared_ptr<FolderListing>& listingOf(const fuse_file_info* info) {
    return *reinterpret_cast<std::shared_ptr<FolderListing>*>(static_cast<uintptr_t>(info->fh));
}

int onOpendir(const char* path, fuse_file_info* info) {
    if (const int refused = refusedPath(path); refused != 0) {
        return refused;
    }
    WorkerPool& share = workers();
    auto listing = std::make_shared<FolderListing>(share.share(), path);
    // A folder that cannot be listed fails here, as on a local disk.
    if (const int result = share.list(path, listing); result != 0) {
        return result;
    }
    info->fh = reinterpret_cast<uintptr_t>(new std::shared_ptr<FolderListing>(std::move(listing)));
    return 0;
}

int onReaddir(const char*, void* buffer, fuse_fill_dir_t fill, off_t offset, fuse_file_info* info,
              fuse_readdir_flags) {
    FolderListing& listing = *listingOf(info);
    // Offsets count entries: "." is 1, ".." 2, then the folder's own. A program that starts
    // over (rewinddir) sees the folder as it is now.
    static const std::vector<std::string> dots = {".", ".."};
    if (offset == 0 && listing.handedOut) {
        if (const int result = awaitEntries(listing, SIZE_MAX); result == -ETIMEDOUT) {
            return result;  // the last listing still arrives: no second one beside it
        }
        listing.clear();
        if (const int result = workers().list(listing.path, listingOf(info)); result != 0) {
            return result;
        }
    }
    listing.handedOut = true;
    const size_t first = static_cast<size_t>(offset);
    for (size_t i = first; i < dots.size(); ++i) {
        if (fill(buffer, dots[i].c_str(), nullptr, static_cast<off_t>(i + 1),
                 static_cast<fuse_fill_dir_flags>(0))) {
            return 0;
        }
    }
    // What has arrived so far; an empty answer would end the listing, so at least one more.
    const size_t start = std::max(first, dots.size()) - dots.size();
    if (const int result = awaitEntries(listing, start); result != 0) {
        return result;
    }
    const std::lock_guard<std::mutex> held(listing.lock);
    for (size_t i = start; i < listing.entries.size(); ++i) {
        auto& [name, attributes] = listing.entries[i];
        if (fill(buffer, name.c_str(), &attributes, static_cast<off_t>(i + dots.size() + 1),
                 FUSE_FILL_DIR_PLUS)) {
            break;
        }
    }
    return 0;
}

int onReleasedir(const char*, fuse_file_info* info) {
    // A listing still arriving is taken in and then dropped by its thread.
    delete &listingOf(info);
    return 0;
}

int openOnServer(const char* path, int flags, mode_t mode, fuse_file_info* info) {
    if (const int refused = refusedPath(path); refused != 0) {
        return refused;
    }
    // Writes go where the kernel says, except that an appending file's go to the server's end
    // when that lies further (a write that failed here but was done after all).
    flags &= O_ACCMODE | O_CREAT | O_EXCL | O_TRUNC | O_APPEND;
    const ListedForgotten forgotten(
        (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0 ? path : nullptr);
    RemoteFile* file = nullptr;
    const int result = workers().open(path, flags, mode, &file);
    if (result == 0) {
        info->fh = reinterpret_cast<uintptr_t>(file);
        // A reader beside a writer of the same file reads the server's file as it is at each
        // read: the kernel's copy may hold pages read while a write or truncation was under
        // way, filled up with zeros to a size that another request has grown since.
        if ((flags & O_ACCMODE) == O_RDONLY && workers().othersWrite(*file)) {
            info->direct_io = 1;
        }
    }
    return notFoundOrNotFolder(path, result);
}

int onOpen(const char* path, fuse_file_info* info) {
    return openOnServer(path, info->flags, 0, info);
}

int onCreate(const char* path, mode_t mode, fuse_file_info* info) {
    return openOnServer(path, info->flags | O_CREAT, mode, info);
}

int onRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    return workers().read(*openFileOf(info), buffer, size, offset);
}

int onWrite(const char* path, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    const ListedForgotten forgotten(path);
    off_t writtenAt = offset;
    const int result = workers().write(*openFileOf(info), buffer, size, offset, &writtenAt);
    if (result > 0 && writtenAt != offset && path != nullptr && context().drops != nullptr) {
        // An append went to the server's end, past the one the kernel knew: what the kernel
        // keeps of the file (the pages it just wrote, its size) is not the file.
        context().drops->drop(path);
    }
    return result;
}

int onTruncate(const char* path, off_t size, fuse_file_info* info) {
    const ListedForgotten forgotten(path);
    if (info != nullptr && info->fh != 0) {
        return workers().truncate(*openFileOf(info), size);
    }
    const int refused = refusedPath(path);
    return refused != 0 ? refused : workers().truncate(path, size);
}

int onRelease(const char* path, fuse_file_info* info) {
    // The server sets the time of the last write at the close.
    const ListedForgotten forgotten((info->flags & O_ACCMODE) != O_RDONLY ? path : nullptr);
    return workers().close(openFileOf(info));
}

// Each write was acknowledged by the server before it returned: nothing waits here, but a
// write that failed is told again. That is all fsync can wait for too: libsmbclient has no
// flush call (SMB2 FLUSH) and drops O_SYNC over SMB2, so the data is with the server, not
// necessarily on its disk (docs/linux-mounts.md).
int onFlush(const char*, fuse_file_info* info) {
    return workers().flush(*openFileOf(info));
}

int onFsync(const char*, int, fuse_file_info* info) {
    return workers().flush(*openFileOf(info));
}

int onUnlink(const char* path) {
    const ListedForgotten forgotten(path);
    const int refused = refusedPath(path);
    return refused != 0 ? refused : notFoundOrNotFolder(path, workers().unlink(path));
}

int onMkdir(const char* path, mode_t) {
    const ListedForgotten forgotten(path);
    const int refused = refusedPath(path);
    return refused != 0 ? refused : notFoundOrNotFolder(path, workers().mkdir(path));
}

int onRmdir(const char* path) {
    const ListedForgotten forgotten(path);
    const int refused = refusedPath(path);
    return refused != 0 ? refused : notFoundOrNotFolder(path, workers().rmdir(path));
}

int onRename(const char* from, const char* to, unsigned int flags) {
    if (flags & RENAME_EXCHANGE) {
        return -EINVAL;
    }
    const ListedForgotten forgottenFrom(from);
    const ListedForgotten forgottenTo(to);
    const int refused = refusedPath(from) != 0 ? refusedPath(from) : refusedPath(to);
    if (refused != 0) {
        return refused;
    }
    const int result = workers().rename(from, to, (flags & RENAME_NOREPLACE) != 0);
    return notFoundOrNotFolder(from, notFoundOrNotFolder(to, result));
}

int onUtimens(const char* path, const timespec times[2], fuse_file_info*) {
    const ListedForgotten forgotten(path);
    const int refused = refusedPath(path);
    return refused != 0 ? refused : workers().setTimes(path, times);
}

int onStatfs(const char* path, struct statvfs* out) {
    const int result = workers().statvfs(path, out);
    if (result == 0) {
        out->f_namemax = kLongestName;
    }
    return result;
}

// The modes come from the mount's options; like other SMB mounts, a change is accepted and
// has no effect.
int onChmod(const char*, mode_t, fuse_file_info*) {
    return 0;
}

int onChown(const char*, uid_t uid, gid_t gid, fuse_file_info*) {
    const ShareMount& share = workers().share();
    const bool sameOwner = uid == static_cast<uid_t>(-1) || uid == share.owner;
    const bool sameGroup = gid == static_cast<gid_t>(-1) || gid == share.group;
    return sameOwner && sameGroup ? 0 : -EPERM;
}

// Links, device files and pipes do not exist on these shares. Extended attributes have no
// callbacks at all: the kernel then answers ENOTSUP itself without asking again.
int onSymlink(const char*, const char*) {
    return -ENOTSUP;
}
int onLink(const char*, const char*) {
    return -ENOTSUP;
}
int onMknod(const char*, mode_t, dev_t) {
    return -ENOTSUP;
}

// Each call from the kernel gets its deadline as it arrives: all it waits for counts against
// one bound, however many workers, attempts and listing parts it takes.
template <auto Call>
struct Bounded;
template <typename... Arguments, int (*Call)(Arguments...)>
struct Bounded<Call> {
    static int run(Arguments... arguments) {
        const CallDeadline bound(CallDeadline::Clock::now() + kRequestBound);
        return Call(arguments...);
    }
};

fuse_operations operations() {
    fuse_operations ops{};
    ops.init = onInit;
    ops.getattr = Bounded<onGetattr>::run;
    ops.opendir = Bounded<onOpendir>::run;
    ops.readdir = Bounded<onReaddir>::run;
    ops.releasedir = onReleasedir;
    ops.open = Bounded<onOpen>::run;
    ops.create = Bounded<onCreate>::run;
    ops.read = Bounded<onRead>::run;
    ops.write = Bounded<onWrite>::run;
    ops.truncate = Bounded<onTruncate>::run;
    ops.flush = Bounded<onFlush>::run;
    ops.fsync = Bounded<onFsync>::run;
    ops.release = Bounded<onRelease>::run;
    ops.unlink = Bounded<onUnlink>::run;
    ops.mkdir = Bounded<onMkdir>::run;
    ops.rmdir = Bounded<onRmdir>::run;
    ops.rename = Bounded<onRename>::run;
    ops.utimens = Bounded<onUtimens>::run;
    ops.statfs = Bounded<onStatfs>::run;
    ops.chmod = onChmod;
    ops.chown = onChown;
    ops.symlink = onSymlink;
    ops.link = onLink;
    ops.mknod = onMknod;
    return ops;
}

// A comma or backslash in a mount option value must be escaped for FUSE's option parser.
std::string escapedOption(const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == ',' || c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

}  // namespace

SmbFilesystem::SmbFilesystem(WorkerPool& workers) : context_{workers} {}

SmbFilesystem::~SmbFilesystem() {
    drops_.reset();
    if (fuse_ != nullptr) {
        unmountIfStillOurs();
        fuse_destroy(fuse_);
    }
}

bool SmbFilesystem::mount(const std::string& mountPoint, const std::string& source) {
    const std::string options = "fsname=" + escapedOption(source) +
                                ",subtype=smbfs,max_read=" + std::to_string(kLargestTransfer);
    std::vector<std::string> words = {"mount_smbfs", "-o", options};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    fuse_args args = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
    const fuse_operations ops = operations();
    fuse_ = fuse_new(&args, &ops, sizeof ops, &context_);
    fuse_opt_free_args(&args);
    if (fuse_ == nullptr) {
        return false;
    }
    mounted_ = fuse_mount(fuse_, mountPoint.c_str()) == 0;
    if (mounted_) {
        mountPoint_ = mountPoint;
        device_ = visibleMountDevice(mountPoint);
    }
    return mounted_;
}

void SmbFilesystem::unmountIfStillOurs() {
    if (mounted_ && !device_.empty() && visibleMountDevice(mountPoint_) == device_) {
        fuse_unmount(fuse_);
    }
    mounted_ = false;
}

int SmbFilesystem::serve() {
    fuse_session* session = fuse_get_session(fuse_);
    if (fuse_set_signal_handlers(session) != 0) {
        return 1;
    }
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_clone_fd(config, 0);
    fuse_loop_cfg_set_max_threads(config, 16);
    drops_ = std::make_unique<KernelCacheDrops>(fuse_);
    context_.drops = drops_.get();
    const int result = fuse_loop_mt(fuse_, config);
    context_.drops = nullptr;
    drops_.reset();
    fuse_loop_cfg_destroy(config);
    fuse_remove_signal_handlers(session);
    unmountIfStillOurs();
    return result < 0 ? 1 : 0;
}

}  // namespace quorvane::tools
