#include "ProcessRunner.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "FileServices.h"
#include "platform/Spawn.h"

extern char** environ;

namespace quorvane {

namespace {

// Writes the whole text to the pipe. SIGPIPE is held back on this thread so that a child
// that exits without reading cannot end the whole program; a pending one is consumed.
void writeToChild(int fd, const std::string& data) {
    sigset_t pipeOnly;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);

    size_t written = 0;
    bool brokenPipe = false;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            brokenPipe = errno == EPIPE;
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (brokenPipe) {
        platform::consumePendingSignal(SIGPIPE);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

ProcessResult resultFromStatus(int status) {
    ProcessResult result;
    if (WIFEXITED(status)) {
        result.outcome = ProcessResult::Outcome::Exited;
        result.exitStatus = WEXITSTATUS(status);
    } else {
        result.outcome = ProcessResult::Outcome::Signalled;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    return result;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

ProcessResult runProcess(const ProcessRequest& request) {
    ProcessResult failed;
    failed.outcome = ProcessResult::Outcome::CouldNotStart;

    std::vector<char*> argv;
    argv.reserve(request.arguments.size() + 2);
    argv.push_back(const_cast<char*>(request.executable.c_str()));
    for (const std::string& argument : request.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    int inputPipe[2] = {-1, -1};
    if (request.standardInput && !platform::makeCloseOnExecPipe(inputPipe)) {
        failed.error = files::describeError(errno);
        return failed;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (request.standardInput) {
        posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    }
    platform::inheritOnlyStandardDescriptors(&actions, &attributes);

    // The child starts with default signal handling and nothing blocked, whatever this
    // program (or the GUI toolkit) set up for itself.
    sigset_t allSignals;
    sigset_t noSignals;
    sigfillset(&allSignals);
    sigdelset(&allSignals, SIGKILL);
    sigdelset(&allSignals, SIGSTOP);
    sigemptyset(&noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    short flags = 0;
    posix_spawnattr_getflags(&attributes, &flags);
    // A group of its own lets a tool that runs too long be ended with all it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETPGROUP));

    pid_t pid = -1;
    const int spawnError =
        posix_spawn(&pid, request.executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeIfOpen(inputPipe[0]);
    if (spawnError != 0) {
        closeIfOpen(inputPipe[1]);
        failed.error = request.executable + ": " + files::describeError(spawnError);
        return failed;
    }

    if (request.standardInput) {
        writeToChild(inputPipe[1], *request.standardInput);
        closeIfOpen(inputPipe[1]);
    }

    int status = 0;
    if (platform::waitForExit(pid, request.timeLimit, &status)) {
        return resultFromStatus(status);
    }

    // Past the limit: ask the tool and whatever it started in its group to stop, then
    // insist, and always reap.
    ::kill(-pid, SIGTERM);
    const bool ended = platform::waitForExit(pid, std::chrono::seconds(3), &status);
    ::kill(-pid, SIGKILL);
    if (!ended) {
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    ProcessResult timedOut;
    timedOut.outcome = ProcessResult::Outcome::TimedOut;
    timedOut.error = request.executable + ": no answer within " +
                     std::to_string(request.timeLimit.count() / 1000) + " s";
    return timedOut;
}

}  // namespace quorvane
