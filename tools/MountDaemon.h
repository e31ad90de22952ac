#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "SmbFilesystem.h"

// The forked half of mount_smbfs: it logs on, mounts, tells the waiting tool how that went,
// then serves the mount until it is released.
namespace quorvane::tools {

struct DaemonRequest {
    ShareMount share;
    std::string mountPoint;  // resolved
    std::string source;      // shown in the mount table
    /// Shows another argument list for this process.
    std::function<void(const std::vector<std::string>&)> retitle;
};

/// Runs in the child after fork(). Writes one report to `reportFd`, then (once mounted)
/// serves until the mount goes. Returns the daemon's exit status.
int runMountDaemon(DaemonRequest request, int reportFd);

}  // namespace quorvane::tools
