#include "MountRelease.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "BoundedCall.h"
#include "FileServices.h"
#include "MountTable.h"
#include "ProcessRunner.h"
#include "ProcessTitle.h"
#include "ToolProcess.h"

namespace quorvane::tools {

namespace {

constexpr const char* kServeWord = "--serve";

// umount2() on a thread of its own: the call does not ask the file system, but a bound costs
// little and keeps the promise of an answer in time.
ReleaseResult unmountAsRoot(const std::string& mountPoint, bool detach,
                            std::chrono::milliseconds limit) {
    const std::optional<int> error = callWithin(limit, [mountPoint, detach] {
        const int flags = UMOUNT_NOFOLLOW | (detach ? MNT_DETACH : 0);
        return ::umount2(mountPoint.c_str(), flags) == 0 ? 0 : errno;
    });
    ReleaseResult result;
    const int code = error.value_or(-1);
    if (code == 0) {
        result.released = true;
    } else if (code == EBUSY) {
        result.busy = true;
    } else if (code < 0) {
        result.problem =
            "no answer from the kernel within " + std::to_string(limit.count() / 1000) + " s";
    } else {
        result.problem = ::strerror(code);
    }
    return result;
}

ReleaseResult unmountAsUser(const std::string& mountPoint, bool detach,
                            std::chrono::milliseconds limit) {
    ReleaseResult result;
    const std::string fusermount = findProgram("fusermount3");
    if (fusermount.empty()) {
        result.problem = "fusermount3 not found; install the fuse3 package";
        return result;
    }
    ProcessRequest request;
    request.executable = fusermount;
    request.arguments = detach ? std::vector<std::string>{"-u", "-z", mountPoint}
                               : std::vector<std::string>{"-u", mountPoint};
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = limit;
    const ProcessResult run = runProcess(request);
    if (run.succeeded()) {
        result.released = true;
    } else if (run.errors.find("busy") != std::string::npos) {
        result.busy = true;
    } else if (run.outcome == ProcessResult::Outcome::TimedOut) {
        result.problem =
            "fusermount3 gave no answer within " + std::to_string(limit.count() / 1000) + " s";
    } else {
        std::string why = run.errors.empty() ? run.error : run.errors;
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) {
            why.pop_back();
        }
        if (const size_t colon = why.rfind(": "); colon != std::string::npos) {
            why = why.substr(colon + 2);
        }
        result.problem = why.empty() ? "fusermount3 failed" : why;
    }
    return result;
}

}  // namespace

std::vector<std::string> daemonArguments(const std::string& source, const std::string& mountPoint) {
    return {"mount_smbfs", kServeWord, source, mountPoint};
}

bool isMountDaemonCommandLine(const std::string& commandLine, const std::string& mountPoint) {
    const std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.size() != 4 || words[1] != kServeWord || words[3] != mountPoint) {
        return false;
    }
    const std::string& program = words[0];
    return program.substr(program.rfind('/') + 1) == "mount_smbfs";
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
        const std::string commandLine =
            files::readWholeFile("/proc/" + name + "/cmdline").value_or("");
        if (isMountDaemonCommandLine(commandLine, mountPoint)) {
            found = std::stoi(name);
            break;
        }
    }
    ::closedir(proc);
    return found;
}

std::string visibleMountDevice(std::string_view mountInfo, const std::string& mountPoint) {
    // id parent major:minor root mount-point ...
    std::string device;
    while (!mountInfo.empty()) {
        const size_t newline = mountInfo.find('\n');
        std::string_view line = mountInfo.substr(0, newline);
        mountInfo.remove_prefix(newline == std::string_view::npos ? mountInfo.size() : newline + 1);
        std::string_view fields[5];
        for (std::string_view& field : fields) {
            const size_t space = line.find(' ');
            field = line.substr(0, space);
            line.remove_prefix(space == std::string_view::npos ? line.size() : space + 1);
        }
        if (!fields[4].empty() && undoMountInfoEscapes(fields[4]) == mountPoint) {
            device = std::string(fields[2]);
        }
    }
    return device;
}

std::string visibleMountDevice(const std::string& mountPoint) {
    return visibleMountDevice(files::readWholeFile("/proc/self/mountinfo").value_or(""),
                              mountPoint);
}

ReleaseResult releaseMount(const std::string& mountPoint, bool detach,
                           std::chrono::milliseconds limit) {
    return ::geteuid() == 0 ? unmountAsRoot(mountPoint, detach, limit)
                            : unmountAsUser(mountPoint, detach, limit);
}

}  // namespace quorvane::tools
