#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Spawn.h"

namespace quorvane::platform {

bool makeCloseOnExecPipe(int fds[2]) {
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t* actions, posix_spawnattr_t*) {
    // Descriptors opened by libraries without O_CLOEXEC must not leak into the tools either.
    posix_spawn_file_actions_addclosefrom_np(actions, 3);
}

int openExitDescriptor(pid_t pid) {
    // A pidfd turns readable when the process ends (kernel 5.3 and later).
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool reapIfEnded(pid_t pid, int* status) {
    for (;;) {
        const pid_t r = ::waitpid(pid, status, WNOHANG);
        if (r == pid) {
            return true;
        }
        if (r < 0 && errno == EINTR) {
            continue;
        }
        return r < 0;  // ECHILD: nothing left to wait for
    }
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
