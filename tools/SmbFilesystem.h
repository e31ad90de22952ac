#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "SmbClient.h"

struct fuse;

// The FUSE file system that serves one SMB share. Every call goes to the server and returns
// the server's answer: no file contents are kept here, so what a program reads comes from
// the server and what it writes is on the server when write() returns.
namespace quorvane::tools {

struct ShareMount {
    SmbUrlParts parts;
    SmbLogin login;
    unsigned fileMode = 0755;
    unsigned folderMode = 0755;
    uid_t owner = 0;
    gid_t group = 0;
};

/// Longest name of one folder entry that the server takes.
inline constexpr size_t kLongestName = 255;

/// A FUSE file system over libsmbclient, made and mounted by `mount`, served by `serve`.
class SmbFilesystem {
public:
    /// `first` is the context that checked the share: it becomes the first connection.
    SmbFilesystem(ShareMount share, std::unique_ptr<SmbContext> first);
    ~SmbFilesystem();
    SmbFilesystem(const SmbFilesystem&) = delete;
    SmbFilesystem& operator=(const SmbFilesystem&) = delete;

    /// Mounts on `mountPoint` with `source` as the name shown in the mount table. False when
    /// FUSE refuses; its messages went to standard error.
    bool mount(const std::string& mountPoint, const std::string& source);
    /// Serves requests on several threads until the mount is released or a stop signal
    /// comes; then unmounts (if still mounted) and closes every connection.
    int serve();

    /// The connections and open files the FUSE callbacks share.
    class Shared;

private:
    struct fuse* fuse_ = nullptr;
    bool mounted_ = false;
    std::unique_ptr<Shared> shared_;
};

}  // namespace quorvane::tools
