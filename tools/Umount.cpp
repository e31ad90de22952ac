#include "Umount.h"

#include <dirent.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <iostream>

#include "FileServices.h"
#include "MountTable.h"
#include "Subprocess.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// rclone finishes the uploads of files closed just before the unmount, then exits; that is
// waited for, but never for long: with the server gone the files stay in rclone's cache and
// go up at the next mount.
constexpr auto kUploadWaitLimit = 15s;

const char* const kUsage =
    "usage: umount MOUNTPOINT\n"
    "Releases the SMB share that mount_smbfs mounted on MOUNTPOINT. Fails, and keeps the\n"
    "mount, while a program has a file or its working folder inside it.\n";

int fail(const std::string& path, const std::string& problem) {
    std::cerr << "umount: " << path << ": " << problem << std::endl;
    return 1;
}

std::string readFile(const std::string& path) {
    return files::readWholeFile(path).value_or("");
}

// A stopped daemon ("T" in /proc/PID/stat) will not finish anything by itself.
bool isStopped(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() &&
           (stat[close + 2] == 'T' || stat[close + 2] == 't');
}

// Waits, within the limit, for the daemon to finish its uploads and exit.
void waitForDaemon(int pidfd, int pid) {
    const auto deadline = std::chrono::steady_clock::now() + kUploadWaitLimit;
    while (std::chrono::steady_clock::now() < deadline && stopSignal() == 0) {
        pollfd entry{pidfd, POLLIN, 0};
        if (::poll(&entry, 1, 20) > 0 || isStopped(pid)) {
            return;
        }
    }
    if (stopSignal() == 0) {
        std::cerr << "umount: released; rclone (pid " << pid
                  << ") is still uploading files written before the unmount" << std::endl;
    }
}

}  // namespace

bool isMountDaemonCommandLine(const std::string& commandLine, const std::string& mountPoint) {
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < commandLine.size()) {
        size_t end = commandLine.find('\0', start);
        if (end == std::string::npos) {
            end = commandLine.size();
        }
        arguments.push_back(commandLine.substr(start, end - start));
        start = end + 1;
    }
    if (arguments.size() < 4) {
        return false;
    }
    const std::string& program = arguments[0];
    const std::string base = program.substr(program.rfind('/') + 1);
    return base == "rclone" && arguments[1] == "mount" && arguments[3] == mountPoint;
}

int findMountDaemon(const std::string& mountPoint) {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return -1;
    }
    int found = -1;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        if (isMountDaemonCommandLine(readFile("/proc/" + name + "/cmdline"), mountPoint)) {
            found = std::stoi(name);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

int runUmount(int argc, char** argv) {
    installStopHandlers();
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "-h" || arguments[0] == "--help")) {
        std::cout << kUsage;
        return 0;
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
    const std::string fusermount = findProgram("fusermount3");
    if (fusermount.empty()) {
        return fail(*path, "fusermount3 not found; install the fuse3 package");
    }

    const int daemon = findMountDaemon(*path);
    const int pidfd = daemon > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, daemon, 0)) : -1;

    ChildSpec release{fusermount, {"-u", *path}, environmentWithout("QUORVANE_"), std::nullopt};
    const ChildRun run = runChild(release, 20s);
    if (!run.succeeded()) {
        if (pidfd >= 0) {
            ::close(pidfd);
        }
        if (run.errors.find("busy") != std::string::npos) {
            return fail(*path, "target is busy");
        }
        if (run.outcome == ChildRun::Outcome::TimedOut) {
            return fail(*path, "fusermount3 gave no answer within 20 s");
        }
        if (run.outcome == ChildRun::Outcome::Stopped) {
            return 128 + stopSignal();
        }
        std::string why = run.errors.empty() ? run.startError : run.errors;
        while (!why.empty() && why.back() == '\n') {
            why.pop_back();
        }
        if (const size_t colon = why.rfind(": "); colon != std::string::npos) {
            why = why.substr(colon + 2);
        }
        return fail(*path, why.empty() ? "fusermount3 failed" : why);
    }
    if (pidfd >= 0) {
        waitForDaemon(pidfd, daemon);
        ::close(pidfd);
    }
    return 0;
}

}  // namespace quorvane::tools
