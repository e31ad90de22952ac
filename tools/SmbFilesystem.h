#pragma once

#include <memory>
#include <string>

#include "WorkerPool.h"

struct fuse;

// The FUSE file system that serves one SMB share. Every call goes to the server and returns
// the server's answer: no file contents are kept here, so what a program reads comes from
// the server and what it writes is on the server when write() returns.
namespace quorvane::tools {

class KernelCacheDrops;

/// Longest name of one folder entry that the server takes.
inline constexpr size_t kLongestName = 255;

class SmbFilesystem {
public:
    /// `workers` serve the mount's calls.
    explicit SmbFilesystem(WorkerPool& workers);
    ~SmbFilesystem();
    SmbFilesystem(const SmbFilesystem&) = delete;
    SmbFilesystem& operator=(const SmbFilesystem&) = delete;

    /// Mounts on `mountPoint` with `source` as the name shown in the mount table. False when
    /// FUSE refuses; its messages went to standard error.
    bool mount(const std::string& mountPoint, const std::string& source);
    /// Serves requests on several threads until the mount is released or a stop signal
    /// comes; then unmounts (if still mounted).
    int serve();

    /// What the FUSE callbacks share.
    struct Context {
        WorkerPool& workers;
        KernelCacheDrops* drops = nullptr;
    };

private:
    /// Unmounts by the mount point's path, but only while the mount visible there is still this
    /// one: a mount copied into another mount namespace keeps the daemon serving past a umount
    /// here, and by then another mount may have taken the place.
    void unmountIfStillOurs();

    struct fuse* fuse_ = nullptr;
    bool mounted_ = false;
    std::string mountPoint_;
    std::string device_;  // of the mount, as the mount table gives it
    Context context_;
    std::unique_ptr<KernelCacheDrops> drops_;
};

}  // namespace quorvane::tools
