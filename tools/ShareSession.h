#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "SmbClient.h"

// One logged-on share as the FUSE callbacks use it: calls by path ("/dir/name") and on open
// files, each returning 0 (or a count) or -errno as the server answered. Every call holds
// the library lock, so callers on any thread may use it.
namespace quorvane::tools {

struct ShareMount {
    SmbUrlParts parts;
    SmbLogin login;
    unsigned fileMode = 0755;
    unsigned folderMode = 0755;
    uid_t owner = 0;
    gid_t group = 0;
};

/// A file opened on the server. Its handle may be replaced (see ShareSession::rename).
struct OpenFile {
    std::string path;
    int flags = 0;
    SMBCFILE* handle = nullptr;  // null once it could not be opened again
    /// What a sequential reader will ask for next, read from the server in the same call as
    /// what it asked for: one large request costs little more than the kernel's small one.
    /// Only this open file uses it, briefly; any write or truncation of the file drops it.
    std::string ahead;
    off_t aheadOffset = 0;
    std::chrono::steady_clock::time_point aheadTime;
    off_t nextOffset = -1;  // where the last read ended
};

class ShareSession {
public:
    ShareSession(ShareMount share, std::unique_ptr<SmbContext> context);
    ~ShareSession();
    ShareSession(const ShareSession&) = delete;
    ShareSession& operator=(const ShareSession&) = delete;

    const ShareMount& share() const { return share_; }

    int stat(const std::string& path, struct stat* out);
    int stat(OpenFile& file, struct stat* out);
    /// Calls `each` for every entry with its attributes, in one pass over the folder; stops
    /// when `each` returns false.
    int list(const std::string& path,
             const std::function<bool(const char* name, const struct stat&)>& each);

    int open(const std::string& path, int flags, mode_t mode, OpenFile** out);
    int read(OpenFile& file, char* buffer, size_t size, off_t offset);
    int write(OpenFile& file, const char* buffer, size_t size, off_t offset);
    int truncate(OpenFile& file, off_t size);
    int truncate(const std::string& path, off_t size);
    /// Closes and forgets the file.
    int close(OpenFile* file);

    int unlink(const std::string& path);
    int mkdir(const std::string& path);
    int rmdir(const std::string& path);
    /// Renames, over an existing file too. The server refuses to rename a file (or a folder
    /// holding one) that is open here, so such files are closed for the rename and opened
    /// again under their new name.
    int rename(const std::string& from, const std::string& to, bool noReplace);
    /// Times in `times` with tv_nsec UTIME_OMIT keep the server's value.
    int setTimes(const std::string& path, const struct timespec times[2]);
    int statvfs(const std::string& path, struct statvfs* out);

private:
    std::string url(const std::string& path) const { return smbUrlFor(share_.parts, path); }
    SMBCCTX* context() const { return context_->get(); }
    bool reopen(OpenFile& file);
    /// Every open file of `path` reads from the server again.
    void dropReadAhead(const std::string& path);

    ShareMount share_;
    std::unique_ptr<SmbContext> context_;
    std::set<OpenFile*> open_;
};

}  // namespace quorvane::tools
