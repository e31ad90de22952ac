#include "Umount.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "MountRelease.h"
#include "MountTable.h"
#include "ToolProcess.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// Shorter than a mount's bound: a logout releases several shares one after the other.
constexpr auto kReleaseLimit = 4s;
// Every write reached the server before it returned, so the daemon's last steps (closing
// files, logging off) need not be waited for long.
constexpr auto kDaemonExitLimit = 1500ms;

const char* const kUsage =
    "usage: umount [-f] MOUNTPOINT\n"
    "Releases the SMB share that mount_smbfs mounted on MOUNTPOINT. Fails, and keeps the\n"
    "mount, while a program has a file or its working folder inside it.\n"
    "  -f  detaches the mount even then: those programs get errors from then on.\n";

int fail(const std::string& path, const std::string& problem) {
    std::cerr << "umount: " << path << ": " << problem << std::endl;
    return 1;
}

void waitForExit(int pidfd) {
    const auto deadline = std::chrono::steady_clock::now() + kDaemonExitLimit;
    while (std::chrono::steady_clock::now() < deadline && stopSignal() == 0) {
        pollfd entry{pidfd, POLLIN, 0};
        if (::poll(&entry, 1, 20) > 0) {
            return;
        }
    }
}

}  // namespace

int runUmount(int argc, char** argv) {
    installStopHandlers();
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "-h" || arguments[0] == "--help")) {
        std::cout << kUsage;
        return 0;
    }
    const bool force = !arguments.empty() && arguments[0] == "-f";
    if (force) {
        arguments.erase(arguments.begin());
    }
    if (arguments.size() != 1 || arguments[0].empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string& given = arguments[0];
    // The mount table is read, the folder is never looked at: its mount may hang.
    const std::optional<std::string> path = resolveParentOnly(given);
    const std::optional<MountEntry> mount = path ? mountAt(*path) : std::nullopt;
    if (!mount) {
        return fail(given, "not currently mounted");
    }
    if (mount->fileSystemType.rfind("fuse", 0) != 0) {
        return fail(*path, "not a FUSE mount (" + mount->fileSystemType +
                               "); release it with the system's umount");
    }
    const int daemon = findMountDaemon(*path);
    const int pidfd = daemon > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, daemon, 0)) : -1;
    const ReleaseResult result = releaseMount(*path, force, kReleaseLimit);
    if (result.released && pidfd >= 0) {
        waitForExit(pidfd);
    }
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    if (result.busy) {
        return fail(*path, "target is busy");
    }
    if (!result.released) {
        return fail(*path, result.problem);
    }
    return 0;
}

}  // namespace quorvane::tools
