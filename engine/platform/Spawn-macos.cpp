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

bool waitForExit(pid_t pid, std::chrono::milliseconds limit, int* status) {
    const int queue = ::kqueue();
    if (queue >= 0) {
        struct kevent change;
        EV_SET(&change, pid, EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
        struct kevent event;
        timespec timeout{static_cast<time_t>(limit.count() / 1000),
                         static_cast<long>((limit.count() % 1000) * 1000000)};
        int r;
        do {
            r = ::kevent(queue, &change, 1, &event, 1, &timeout);
        } while (r < 0 && errno == EINTR);
        ::close(queue);
        // ESRCH from kevent means the child has already ended; reap it below.
        if (r == 0) {
            return false;
        }
    }
    while (::waitpid(pid, status, 0) < 0) {
        if (errno != EINTR) {
            return true;
        }
    }
    return true;
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
