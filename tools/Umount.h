#pragma once

#include <string>
#include <vector>

// The Linux stand-in for the unmount tool: `umount MOUNTPOINT` releases a FUSE mount as the
// calling user, fails while the mount is busy, and never waits on a server that is gone.
namespace quorvane::tools {

/// The pid of the `rclone mount` process serving `mountPoint`, or -1. Found by its argument
/// list, which mount_smbfs writes as "rclone mount REMOTE MOUNTPOINT ...".
int findMountDaemon(const std::string& mountPoint);

/// True when the argument list (NUL-separated, as in /proc/PID/cmdline) is that of an
/// `rclone mount` serving `mountPoint`.
bool isMountDaemonCommandLine(const std::string& commandLine, const std::string& mountPoint);

int runUmount(int argc, char** argv);

}  // namespace quorvane::tools
