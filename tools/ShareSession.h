#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SmbConnection.h"

// One logged-on share over one connection: calls by path ("/dir/name") and on open files, each
// returning 0 (or a count) or -errno as the server answered. One thread uses it at a time. A
// lost connection is replaced within the call, and open files are opened again on the new one.
// Once the server refuses the password at such a logon (here or at another daemon of the same
// account, LogonRefusals.h), every call fails at once with EACCES, as for a file the user may
// not use, without asking the server again, until a new login comes (replaceLogin).
namespace quorvane::tools {

struct ShareMount {
    SmbUrlParts parts;
    SmbLogin login;
    unsigned fileMode = 0755;
    unsigned folderMode = 0755;
    uid_t owner = 0;
    gid_t group = 0;
};

/// A file opened on the server, with what it takes to open it again on a new connection.
/// Its handle may be replaced (see ShareSession::rename).
struct OpenFile {
    std::string path;
    int flags = 0;               // as opened, without create, truncate and append
    bool append = false;         // writes go to the end of the file as the server has it
    SmbHandle handle = nullptr;  // null until opened (again) on the current connection
    unsigned connection = 0;     // the connection `handle` belongs to
    /// The file as this handle last knew it (the server's file id and the size): a name
    /// opened again must still lead to it.
    ino_t id = 0;
    off_t size = 0;
    /// Sizes the file may have because of this worker's own writes and truncations that
    /// failed on a broken connection but may have been done all the same (a server that
    /// answered late): a name opened again with such a size still leads to the same file.
    /// Empty when `unsureFrom` > `unsureTo`.
    off_t unsureFrom = 1;
    off_t unsureTo = 0;
    bool stale = false;   // the name leads to another file now: every call fails
    int failedWrite = 0;  // errno of a write that did not happen, told at the next fsync or close
};

/// Whether a name opened again on a new connection, with the server's attributes `now`, still
/// leads to `file`: the same file id, and a size this handle last knew or that its own writes
/// and truncations may have left (one that failed may still have been done).
bool leadsToSameFile(const OpenFile& file, const struct stat& now);

class ShareSession {
public:
    /// The first call logs on.
    explicit ShareSession(ShareMount share);
    ~ShareSession();
    ShareSession(const ShareSession&) = delete;
    ShareSession& operator=(const ShareSession&) = delete;

    const ShareMount& share() const { return share_; }
    /// The login for the next logon; the current connection stays while it works.
    void replaceLogin(const SmbLogin& login);
    /// A file made at `path` once the server fails this session's calls, and removed once a
    /// call succeeds again: whoever watches its folder hears of a break without asking.
    void markTroubleAt(std::string path) { troubleMarker_ = std::move(path); }

    int stat(const std::string& path, struct stat* out);
    int stat(OpenFile& file, struct stat* out);
    /// Calls `each` for every entry with its attributes, in one pass over the folder; stops
    /// when `each` returns false.
    int list(const std::string& path,
             const std::function<bool(const char* name, const struct stat&)>& each);

    int open(const std::string& path, int flags, mode_t mode, OpenFile** out);
    int read(OpenFile& file, char* buffer, size_t size, off_t offset);
    /// Writes all `size` bytes or fails. An appending file writes at the server's end of the
    /// file, which `writtenAt` gets (the kernel's `offset` is where it believes the end is).
    int write(OpenFile& file, const char* buffer, size_t size, off_t offset,
              off_t* writtenAt = nullptr);
    int truncate(OpenFile& file, off_t size);
    int truncate(const std::string& path, off_t size);
    /// 0, or the error of a write of this file that failed since the last flush (told once,
    /// as a local disk tells a failed write-back); ESTALE for as long as the file is stale.
    int flush(OpenFile& file);
    /// Closes and forgets the file.
    int close(OpenFile* file);

    int unlink(const std::string& path);
    int mkdir(const std::string& path);
    int rmdir(const std::string& path);
    /// Renames, over an existing file too. The server refuses to rename a file (or a folder
    /// holding one) that is open here, so such files are closed for the rename and opened
    /// again under their new name.
    int rename(const std::string& from, const std::string& to, bool noReplace);
    /// Another user of the share renames `from` to `to`: open files there close their handles
    /// (the server refuses to rename a file open without the sharing mode for it) and open
    /// again on their next use.
    void stepAside(const std::string& from, const std::string& to);
    /// `from` was renamed to `to` elsewhere: open files there follow the new name.
    void followRename(const std::string& from, const std::string& to);
    /// Times in `times` with tv_nsec UTIME_OMIT keep the server's value.
    int setTimes(const std::string& path, const struct timespec times[2]);
    int statvfs(const std::string& path, struct statvfs* out);

private:
    /// Whether a call that lost its connection may simply be made again.
    enum class Repeat { Always, OnlyUnsent };
    std::string url(const std::string& path) const { return smbUrlFor(share_.parts, path); }
    /// Runs `call` (0, a count or -errno) on the connection; a lost connection is replaced
    /// and the call made again until kRequestBound has passed.
    int withServer(Repeat repeat, const std::function<int()>& call);
    /// Runs `call` on the connection; when it has to log on first, in the account's turn and
    /// only with a password not known to be refused. `refused`: the password is refused.
    int callLoggingOn(const std::function<int()>& call,
                      std::chrono::steady_clock::time_point deadline, bool* refused);
    void dropConnection(bool abort);
    /// Whether the connection still answers a look at the share's top folder.
    bool answersStill();
    int renameOnServer(const std::string& from, const std::string& to, bool noReplace);
    std::vector<OpenFile*> filesAffectedBy(const std::string& from, const std::string& to) const;
    int setTimesOnServer(const std::string& path, const struct timespec times[2]);
    /// 0 when `file` has a handle on the current connection, opening it again if needed.
    int attach(OpenFile& file);
    bool reopen(OpenFile& file);
    void remember(OpenFile& file, const struct stat& seen);
    /// Every open file of `path` knows its new size (or, when `grownOnly`, at least `size`).
    void noteChanged(const std::string& path, off_t size, bool grownOnly);
    /// Every open file of `path` takes a size from `low` to `high` for its own doing.
    void noteUnsure(const std::string& path, off_t low, off_t high);
    /// Marks the server as failing this worker's calls, or as answering again, for the tray.
    void noteTrouble(bool trouble);

    ShareMount share_;
    std::unique_ptr<SmbConnection> server_;
    unsigned connection_ = 1;  // counts the connections made
    bool probed_ = false;      // the connection's socket has keep-alive probes
    std::string troubleMarker_;
    bool inTrouble_ = false;
    bool passwordRefused_ = false;  // the server refused share_.login: it is not tried again
    std::set<OpenFile*> open_;
};

}  // namespace quorvane::tools
