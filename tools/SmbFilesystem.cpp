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

#include <atomic>
#include <mutex>
#include <vector>

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// Connections kept to the server; requests on different ones run at the same time.
constexpr size_t kConnections = 4;
// The library's bound for one request to the server; every file operation makes few.
constexpr auto kRequestTimeout = 10s;
constexpr unsigned kLargestTransfer = 1024 * 1024;

}  // namespace

// The connections and what each open file is bound to. A libsmbclient file belongs to the
// context it was opened on, so calls on it take that context's lock.
class SmbFilesystem::Shared {
public:
    struct Connection {
        std::mutex lock;
        std::unique_ptr<SmbContext> context;
    };
    struct OpenFile {
        Connection* connection;
        SMBCFILE* file;
    };

    Shared(ShareMount share, std::unique_ptr<SmbContext> first) : share_(std::move(share)) {
        for (size_t i = 0; i < kConnections; ++i) {
            connections_.push_back(std::make_unique<Connection>());
        }
        connections_[0]->context = std::move(first);
    }
    ~Shared() { ::explicit_bzero(share_.login.password.data(), share_.login.password.size()); }

    const ShareMount& share() const { return share_; }
    std::string url(const char* path) const { return smbUrlFor(share_.parts, path); }

    // A connection for a call by path: an idle one if there is, else the next in turn.
    class Lease {
    public:
        Lease(Connection& connection, std::unique_lock<std::mutex> held)
            : connection_(&connection), held_(std::move(held)), library_(libraryLock()) {}
        Connection& connection() { return *connection_; }
        SMBCCTX* context() { return connection_->context ? connection_->context->get() : nullptr; }

    private:
        Connection* connection_;
        std::unique_lock<std::mutex> held_;
        std::unique_lock<std::mutex> library_;  // taken after the connection's, always
    };
    Lease lease() {
        for (auto& connection : connections_) {
            std::unique_lock<std::mutex> held(connection->lock, std::try_to_lock);
            if (held.owns_lock() && connection->context) {
                return Lease(*connection, std::move(held));
            }
        }
        for (auto& connection : connections_) {
            std::unique_lock<std::mutex> held(connection->lock, std::try_to_lock);
            if (held.owns_lock()) {
                Lease lease(*connection, std::move(held));
                openConnection(*connection);
                return lease;
            }
        }
        Connection& next = *connections_[turn_++ % connections_.size()];
        Lease lease(next, std::unique_lock<std::mutex>(next.lock));
        openConnection(next);
        return lease;
    }
    Lease leaseOf(OpenFile& file) {
        return Lease(*file.connection, std::unique_lock<std::mutex>(file.connection->lock));
    }

private:
    void openConnection(Connection& connection) {
        if (!connection.context) {
            std::string error;
            connection.context = SmbContext::create(share_.login, kRequestTimeout, &error);
        }
    }

    ShareMount share_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::atomic<size_t> turn_{0};
};

namespace {

using Shared = SmbFilesystem::Shared;
using OpenFile = Shared::OpenFile;

Shared& shared() {
    return *static_cast<Shared*>(fuse_get_context()->private_data);
}

OpenFile* openFileOf(const fuse_file_info* info) {
    return reinterpret_cast<OpenFile*>(static_cast<uintptr_t>(info->fh));
}

int failure() {
    return errno != 0 ? -errno : -EIO;
}

// The kernel passes names up to 1024 bytes on; the server takes 255.
bool nameTooLong(const char* path) {
    size_t run = 0;
    for (const char* p = path; p != nullptr && *p != '\0'; ++p) {
        run = *p == '/' ? 0 : run + 1;
        if (run > kLongestName) {
            return true;
        }
    }
    return false;
}

void fillStat(const ShareMount& share, const struct stat& server, struct stat* out) {
    *out = {};
    const bool folder = S_ISDIR(server.st_mode);
    out->st_mode = folder ? S_IFDIR | share.folderMode : S_IFREG | share.fileMode;
    if (!folder && (server.st_mode & S_IWUSR) == 0) {
        out->st_mode &= ~0222u;  // read-only on the server
    }
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
    config->use_ino = 0;
    config->nullpath_ok = 0;  // readdir opens folders by path
    config->hard_remove = 1;  // the server keeps an open file readable after its removal
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
    Shared& fs = shared();
    struct stat server {};
    errno = 0;
    // By name where there is one: a write-only handle may not read its own attributes.
    if (path == nullptr && info != nullptr && info->fh != 0) {
        OpenFile& file = *openFileOf(info);
        Shared::Lease lease = fs.leaseOf(file);
        if (smbc_getFunctionFstat(lease.context())(lease.context(), file.file, &server) < 0) {
            return failure();
        }
    } else {
        if (path == nullptr) {
            return -ENOENT;
        }
        if (nameTooLong(path)) {
            return -ENAMETOOLONG;
        }
        Shared::Lease lease = fs.lease();
        if (lease.context() == nullptr) {
            return -EIO;
        }
        if (smbc_getFunctionStat(lease.context())(lease.context(), fs.url(path).c_str(), &server) <
            0) {
            return failure();
        }
    }
    fillStat(fs.share(), server, out);
    return 0;
}

int onReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    Shared& fs = shared();
    Shared::Lease lease = fs.lease();
    SMBCCTX* c = lease.context();
    if (c == nullptr) {
        return -EIO;
    }
    errno = 0;
    SMBCFILE* folder = smbc_getFunctionOpendir(c)(c, fs.url(path).c_str());
    if (folder == nullptr) {
        return failure();
    }
    // One pass gives names and attributes together, so `ls -l` costs no call per file.
    const auto next = smbc_getFunctionReaddirPlus2(c);
    struct stat server {};
    struct stat shown {};
    int result = 0;
    // The library may leave out "." and ".."; programs that walk folders expect them.
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    errno = 0;
    while (const libsmb_file_info* entry = next(c, folder, &server)) {
        if (::strcmp(entry->name, ".") == 0 || ::strcmp(entry->name, "..") == 0) {
            errno = 0;
            continue;
        }
        fillStat(fs.share(), server, &shown);
        if (fill(buffer, entry->name, &shown, 0, FUSE_FILL_DIR_PLUS) != 0) {
            break;
        }
        errno = 0;
    }
    if (errno != 0) {
        result = -errno;
    }
    smbc_getFunctionClosedir(c)(c, folder);
    return result;
}

int openOnServer(const char* path, int flags, mode_t mode, fuse_file_info* info) {
    if (nameTooLong(path)) {
        return -ENAMETOOLONG;
    }
    Shared& fs = shared();
    Shared::Lease lease = fs.lease();
    SMBCCTX* c = lease.context();
    if (c == nullptr) {
        return -EIO;
    }
    // Writes go where the kernel says: it has applied O_APPEND already.
    flags &= O_ACCMODE | O_CREAT | O_EXCL | O_TRUNC;
    errno = 0;
    SMBCFILE* file = smbc_getFunctionOpen(c)(c, fs.url(path).c_str(), flags, mode);
    if (file == nullptr) {
        return failure();
    }
    info->fh = reinterpret_cast<uintptr_t>(new OpenFile{&lease.connection(), file});
    return 0;
}

int onOpen(const char* path, fuse_file_info* info) {
    return openOnServer(path, info->flags, 0, info);
}

int onCreate(const char* path, mode_t mode, fuse_file_info* info) {
    return openOnServer(path, info->flags | O_CREAT, mode, info);
}

int onRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    Shared& fs = shared();
    OpenFile& file = *openFileOf(info);
    Shared::Lease lease = fs.leaseOf(file);
    SMBCCTX* c = lease.context();
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file.file, offset, SEEK_SET) < 0) {
        return failure();
    }
    size_t done = 0;
    while (done < size) {
        errno = 0;
        const ssize_t n = smbc_getFunctionRead(c)(c, file.file, buffer + done, size - done);
        if (n < 0) {
            return failure();
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int onWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* info) {
    Shared& fs = shared();
    OpenFile& file = *openFileOf(info);
    Shared::Lease lease = fs.leaseOf(file);
    SMBCCTX* c = lease.context();
    errno = 0;
    if (smbc_getFunctionLseek(c)(c, file.file, offset, SEEK_SET) < 0) {
        return failure();
    }
    size_t done = 0;
    while (done < size) {
        errno = 0;
        const ssize_t n = smbc_getFunctionWrite(c)(c, file.file, buffer + done, size - done);
        if (n <= 0) {
            return n < 0 ? failure() : -EIO;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int onTruncate(const char* path, off_t size, fuse_file_info* info) {
    Shared& fs = shared();
    errno = 0;
    if (info != nullptr && info->fh != 0) {
        OpenFile& file = *openFileOf(info);
        Shared::Lease lease = fs.leaseOf(file);
        SMBCCTX* c = lease.context();
        return smbc_getFunctionFtruncate(c)(c, file.file, size) < 0 ? failure() : 0;
    }
    if (nameTooLong(path)) {
        return -ENAMETOOLONG;
    }
    Shared::Lease lease = fs.lease();
    SMBCCTX* c = lease.context();
    if (c == nullptr) {
        return -EIO;
    }
    SMBCFILE* file = smbc_getFunctionOpen(c)(c, fs.url(path).c_str(), O_WRONLY, 0);
    if (file == nullptr) {
        return failure();
    }
    int result = smbc_getFunctionFtruncate(c)(c, file, size) < 0 ? failure() : 0;
    errno = 0;
    if (smbc_getFunctionClose(c)(c, file) < 0 && result == 0) {
        result = failure();
    }
    return result;
}

int onRelease(const char*, fuse_file_info* info) {
    Shared& fs = shared();
    OpenFile* file = openFileOf(info);
    {
        Shared::Lease lease = fs.leaseOf(*file);
        SMBCCTX* c = lease.context();
        smbc_getFunctionClose(c)(c, file->file);
    }
    delete file;
    return 0;
}

// Each write was acknowledged by the server before it returned: nothing waits here.
int onFlush(const char*, fuse_file_info*) {
    return 0;
}

int onFsync(const char*, int, fuse_file_info*) {
    return 0;
}

template <typename Call>
int byPath(const char* path, Call call) {
    if (nameTooLong(path)) {
        return -ENAMETOOLONG;
    }
    Shared& fs = shared();
    Shared::Lease lease = fs.lease();
    SMBCCTX* c = lease.context();
    if (c == nullptr) {
        return -EIO;
    }
    errno = 0;
    return call(c, fs.url(path)) < 0 ? failure() : 0;
}

int onUnlink(const char* path) {
    return byPath(path, [](SMBCCTX* c, const std::string& url) {
        return smbc_getFunctionUnlink(c)(c, url.c_str());
    });
}

int onMkdir(const char* path, mode_t) {
    return byPath(path, [](SMBCCTX* c, const std::string& url) {
        return smbc_getFunctionMkdir(c)(c, url.c_str(), 0755);
    });
}

int onRmdir(const char* path) {
    return byPath(path, [](SMBCCTX* c, const std::string& url) {
        return smbc_getFunctionRmdir(c)(c, url.c_str());
    });
}

int onRename(const char* from, const char* to, unsigned int flags) {
    if (flags & RENAME_EXCHANGE) {
        return -EINVAL;
    }
    if (nameTooLong(to)) {
        return -ENAMETOOLONG;
    }
    Shared& fs = shared();
    const std::string target = fs.url(to);
    return byPath(from, [&](SMBCCTX* c, const std::string& url) {
        struct stat existing {};
        if ((flags & RENAME_NOREPLACE) &&
            smbc_getFunctionStat(c)(c, target.c_str(), &existing) == 0) {
            errno = EEXIST;
            return -1;
        }
        return smbc_getFunctionRename(c)(c, url.c_str(), c, target.c_str());
    });
}

timeval toTimeval(const timespec& time, const timespec& current) {
    const timespec& chosen = time.tv_nsec == UTIME_NOW ? current : time;
    return timeval{chosen.tv_sec, static_cast<suseconds_t>(chosen.tv_nsec / 1000)};
}

int onUtimens(const char* path, const timespec times[2], fuse_file_info*) {
    return byPath(path, [&](SMBCCTX* c, const std::string& url) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        struct stat server {};
        if ((times[0].tv_nsec == UTIME_OMIT || times[1].tv_nsec == UTIME_OMIT) &&
            smbc_getFunctionStat(c)(c, url.c_str(), &server) < 0) {
            return -1;
        }
        timeval values[2] = {
            times[0].tv_nsec == UTIME_OMIT ? toTimeval(server.st_atim, now)
                                           : toTimeval(times[0], now),
            times[1].tv_nsec == UTIME_OMIT ? toTimeval(server.st_mtim, now)
                                           : toTimeval(times[1], now),
        };
        return smbc_getFunctionUtimes(c)(c, url.c_str(), values);
    });
}

int onStatfs(const char* path, struct statvfs* out) {
    Shared& fs = shared();
    Shared::Lease lease = fs.lease();
    SMBCCTX* c = lease.context();
    if (c == nullptr) {
        return -EIO;
    }
    errno = 0;
    std::string url = fs.url(path);
    if (smbc_getFunctionStatVFS(c)(c, url.data(), out) < 0) {
        return failure();
    }
    out->f_namemax = kLongestName;
    return 0;
}

// The modes come from the mount's options; like other SMB mounts, a change is accepted and
// has no effect.
int onChmod(const char*, mode_t, fuse_file_info*) {
    return 0;
}

int onChown(const char*, uid_t uid, gid_t gid, fuse_file_info*) {
    const ShareMount& share = shared().share();
    const bool sameOwner = uid == static_cast<uid_t>(-1) || uid == share.owner;
    const bool sameGroup = gid == static_cast<gid_t>(-1) || gid == share.group;
    return sameOwner && sameGroup ? 0 : -EPERM;
}

// Links, device files, pipes and extended attributes do not exist on these shares.
int onSymlink(const char*, const char*) {
    return -ENOTSUP;
}
int onLink(const char*, const char*) {
    return -ENOTSUP;
}
int onMknod(const char*, mode_t, dev_t) {
    return -ENOTSUP;
}
int onSetxattr(const char*, const char*, const char*, size_t, int) {
    return -ENOTSUP;
}
int onGetxattr(const char*, const char*, char*, size_t) {
    return -ENOTSUP;
}
int onListxattr(const char*, char*, size_t) {
    return -ENOTSUP;
}
int onRemovexattr(const char*, const char*) {
    return -ENOTSUP;
}

fuse_operations operations() {
    fuse_operations ops{};
    ops.init = onInit;
    ops.getattr = onGetattr;
    ops.readdir = onReaddir;
    ops.open = onOpen;
    ops.create = onCreate;
    ops.read = onRead;
    ops.write = onWrite;
    ops.truncate = onTruncate;
    ops.flush = onFlush;
    ops.fsync = onFsync;
    ops.release = onRelease;
    ops.unlink = onUnlink;
    ops.mkdir = onMkdir;
    ops.rmdir = onRmdir;
    ops.rename = onRename;
    ops.utimens = onUtimens;
    ops.statfs = onStatfs;
    ops.chmod = onChmod;
    ops.chown = onChown;
    ops.symlink = onSymlink;
    ops.link = onLink;
    ops.mknod = onMknod;
    ops.setxattr = onSetxattr;
    ops.getxattr = onGetxattr;
    ops.listxattr = onListxattr;
    ops.removexattr = onRemovexattr;
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

SmbFilesystem::SmbFilesystem(ShareMount share, std::unique_ptr<SmbContext> first)
    : shared_(std::make_unique<Shared>(std::move(share), std::move(first))) {}

SmbFilesystem::~SmbFilesystem() {
    if (fuse_ != nullptr) {
        if (mounted_) {
            fuse_unmount(fuse_);
        }
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
    fuse_ = fuse_new(&args, &ops, sizeof ops, shared_.get());
    fuse_opt_free_args(&args);
    if (fuse_ == nullptr) {
        return false;
    }
    mounted_ = fuse_mount(fuse_, mountPoint.c_str()) == 0;
    return mounted_;
}

int SmbFilesystem::serve() {
    fuse_session* session = fuse_get_session(fuse_);
    if (fuse_set_signal_handlers(session) != 0) {
        return 1;
    }
    fuse_loop_config* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_clone_fd(config, 0);
    fuse_loop_cfg_set_max_threads(config, 16);
    const int result = fuse_loop_mt(fuse_, config);
    fuse_loop_cfg_destroy(config);
    fuse_remove_signal_handlers(session);
    fuse_unmount(fuse_);
    mounted_ = false;
    return result < 0 ? 1 : 0;
}

}  // namespace quorvane::tools
