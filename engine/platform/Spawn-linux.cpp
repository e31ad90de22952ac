#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "Spawn.h"

namespace quorvane::platform {

bool makeCloseOnExecPipe(int fds[2]) {
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t* actions, posix_spawnattr_t*) {
    // Descriptors opened by libraries without O_CLOEXEC must not leak into the tools either.
    posix_spawn_file_actions_addclosefrom_np(actions, 3);
}

namespace {

bool reapIfEnded(pid_t pid, int* status, bool block) {
    for (;;) {
        const pid_t r = ::waitpid(pid, status, block ? 0 : WNOHANG);
        if (r == pid) {
            return true;
        }
        if (r < 0 && errno == EINTR) {
            continue;
        }
        return r < 0;  // ECHILD: nothing left to wait for
    }
}

// Fallback for kernels without pidfd: short sleeps that grow to 20 ms.
bool pollForExit(pid_t pid, std::chrono::milliseconds limit, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::microseconds(200);
    while (!reapIfEnded(pid, status, false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
    return true;
}

}  // namespace

bool waitForExit(pid_t pid, std::chrono::milliseconds limit, int* status) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        return pollForExit(pid, limit, status);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool ended = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{pidfd, POLLIN, 0};
        const int r = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        ended = r > 0;
        break;
    }
    ::close(pidfd);
    return ended && reapIfEnded(pid, status, true);
}

void consumePendingSignal(int signalNumber) {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    const timespec zero{0, 0};
    while (::sigtimedwait(&only, nullptr, &zero) == signalNumber) {
    }
}

}  // namespace quorvane::platform
