#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/event.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Spawn.h"

namespace quorvane::platform {

bool makeCloseOnExecPipe(int fds[2]) {
    if (::pipe(fds) != 0) {
        return false;
    }
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
}

void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t* actions,
                                    posix_spawnattr_t* attributes) {
    // With this flag every descriptor not named by a file action is closed in the child.
    short flags = 0;
    posix_spawnattr_getflags(attributes, &flags);
    posix_spawnattr_setflags(attributes, static_cast<short>(flags | POSIX_SPAWN_CLOEXEC_DEFAULT));
    posix_spawn_file_actions_addinherit_np(actions, STDIN_FILENO);
    posix_spawn_file_actions_addinherit_np(actions, STDOUT_FILENO);
    posix_spawn_file_actions_addinherit_np(actions, STDERR_FILENO);
}

int openExitDescriptor(pid_t pid) {
    // A kqueue descriptor polls readable once one of its events is pending.
    const int queue = ::kqueue();
    if (queue < 0) {
        return -1;
    }
    ::fcntl(queue, F_SETFD, FD_CLOEXEC);
    struct kevent change;
    EV_SET(&change, pid, EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
    const timespec zero{0, 0};
    if (::kevent(queue, &change, 1, nullptr, 0, &zero) < 0) {
        // ESRCH: the child has ended already. The caller's non-blocking reap finds it.
        ::close(queue);
        return -1;
    }
    return queue;
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
        return r < 0;
    }
}

void consumePendingSignal(int signalNumber) {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, signalNumber)) {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signalNumber);
        int received = 0;
        sigwait(&only, &received);
    }
}

}  // namespace quorvane::platform
