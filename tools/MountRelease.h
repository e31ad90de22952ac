#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// Finding the daemon that serves a mount, and releasing the mount, for mount_smbfs (taking
// back a half-made mount) and umount.
namespace quorvane::tools {

/// The argument list the daemon shows: "mount_smbfs --serve SOURCE MOUNTPOINT".
std::vector<std::string> daemonArguments(const std::string& source, const std::string& mountPoint);

/// True when the argument list (NUL-separated, as in /proc/PID/cmdline) is that of the daemon
/// serving `mountPoint`.
bool isMountDaemonCommandLine(const std::string& commandLine, const std::string& mountPoint);

/// The pid of the daemon serving `mountPoint`, or -1.
int findMountDaemon(const std::string& mountPoint);

/// The device ("major:minor") of the file system visible on `mountPoint` (the last mount there)
/// in a /proc/self/mountinfo text, or "" when nothing is mounted there. Each mount has its own
/// device while it lives, so it tells a mount from a newer one at the same place.
std::string visibleMountDevice(std::string_view mountInfo, const std::string& mountPoint);
/// The same for this process's mount table.
std::string visibleMountDevice(const std::string& mountPoint);

struct ReleaseResult {
    bool released = false;
    bool busy = false;    // a program still uses the mount; it stays
    std::string problem;  // otherwise why not
};

/// Releases the FUSE mount on `mountPoint` (resolved) within `limit`: as root with umount2(),
/// as a user with fusermount3. `detach` lets go of it even while it is in use.
ReleaseResult releaseMount(const std::string& mountPoint, bool detach,
                           std::chrono::milliseconds limit = std::chrono::seconds(4));

}  // namespace quorvane::tools
