#include "Subprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

extern char** environ;

namespace quorvane::tools {

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void onStopSignal(int signalNumber) {
    g_stopSignal = signalNumber;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

pid_t spawn(const ChildSpec& request, int inputFd, int outputFd, int errorFd, std::string* error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(request.program.c_str()));
    for (const std::string& argument : request.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : request.environment) {
        envp.push_back(const_cast<char*>(variable.c_str()));
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    if (errorFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errorFd, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (request.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = -1;
    const int result =
        posix_spawn(&pid, request.program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        if (error != nullptr) {
            *error = request.program + ": " + ::strerror(result);
        }
        return -1;
    }
    return pid;
}

}  // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read or poll returns with EINTR
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    // A reader that went away must show as an error, not end the tool half-way.
    ::signal(SIGPIPE, SIG_IGN);
}

int stopSignal() {
    return g_stopSignal;
}

std::string findProgram(const std::string& name) {
    std::string path;
    if (const char* value = std::getenv("PATH")) {
        path = value;
    }
    path += ":/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        const size_t colon = path.find(':', start);
        const std::string folder =
            path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        start = colon == std::string::npos ? path.size() + 1 : colon + 1;
        if (folder.empty() || folder.front() != '/') {
            continue;  // a relative entry would depend on the working folder
        }
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

std::vector<std::string> environmentWithout(const std::string& prefix) {
    std::vector<std::string> kept;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        if (prefix.empty() || variable.compare(0, prefix.size(), prefix) != 0) {
            kept.push_back(variable);
        }
    }
    return kept;
}

bool childEnded(pid_t pid, int* status) {
    int local = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, status != nullptr ? status : &local, WNOHANG);
        if (r == pid) {
            return true;
        }
        if (r < 0 && errno == EINTR) {
            continue;
        }
        return r < 0;  // ECHILD: already reaped
    }
}

bool pause(std::chrono::milliseconds duration) {
    if (g_stopSignal != 0) {
        return false;
    }
    timespec wait{static_cast<time_t>(duration.count() / 1000),
                  static_cast<long>((duration.count() % 1000) * 1000000)};
    ::nanosleep(&wait, nullptr);  // a stop signal cuts it short
    return g_stopSignal == 0;
}

void endChild(pid_t pid, std::chrono::milliseconds grace) {
    if (pid <= 0 || childEnded(pid)) {
        return;
    }
    ::kill(pid, SIGTERM);
    const auto deadline = Clock::now() + grace;
    while (Clock::now() < deadline) {
        if (childEnded(pid)) {
            return;
        }
        timespec wait{0, 5 * 1000000};
        ::nanosleep(&wait, nullptr);
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

pid_t startChild(const ChildSpec& request, std::string* error) {
    return spawn(request, -1, -1, -1, error);
}

ChildRun runChild(const ChildSpec& request, std::chrono::milliseconds limit) {
    ChildRun run;
    int inPipe[2] = {-1, -1};
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const bool pipesMade = (!request.input || ::pipe2(inPipe, O_CLOEXEC) == 0) &&
                           (!request.captureOutput ||
                            (::pipe2(outPipe, O_CLOEXEC) == 0 && ::pipe2(errPipe, O_CLOEXEC) == 0));
    pid_t pid = -1;
    if (pipesMade) {
        pid = spawn(request, inPipe[0], outPipe[1], errPipe[1], &run.startError);
    } else {
        run.startError = std::string("pipe: ") + ::strerror(errno);
    }
    closeIfOpen(inPipe[0]);
    closeIfOpen(outPipe[1]);
    closeIfOpen(errPipe[1]);
    if (pid < 0) {
        closeIfOpen(inPipe[1]);
        closeIfOpen(outPipe[0]);
        closeIfOpen(errPipe[0]);
        return run;
    }

    // Feed the input and drain both outputs together, so neither side can fill a pipe and
    // wait for the other.
    size_t written = 0;
    if (request.input && request.input->empty()) {
        closeIfOpen(inPipe[1]);
    }
    if (inPipe[1] >= 0) {
        ::fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    }
    const auto deadline = Clock::now() + limit;
    bool timedOut = false;
    while (inPipe[1] >= 0 || outPipe[0] >= 0 || errPipe[0] >= 0) {
        if (g_stopSignal != 0 || Clock::now() >= deadline) {
            timedOut = g_stopSignal == 0;
            break;
        }
        pollfd fds[3] = {{inPipe[1], POLLOUT, 0}, {outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        const int ready = ::poll(fds, 3, std::min(millisecondsLeft(deadline), 100));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready <= 0) {
            continue;
        }
        if (inPipe[1] >= 0 && fds[0].revents != 0) {
            const ssize_t n = ::write(inPipe[1], request.input->data() + written,
                                      request.input->size() - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
            }
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == request.input->size()) {
                closeIfOpen(inPipe[1]);
            }
        }
        for (int k = 1; k <= 2; ++k) {
            int& fd = k == 1 ? outPipe[0] : errPipe[0];
            if (fd < 0 || fds[k].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (k == 1 ? run.output : run.errors).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                closeIfOpen(fd);
            }
        }
    }
    closeIfOpen(inPipe[1]);
    closeIfOpen(outPipe[0]);
    closeIfOpen(errPipe[0]);

    int status = 0;
    if (!timedOut && g_stopSignal == 0) {
        // Outputs are closed; the child is ending. Wait for it within what is left.
        while (!childEnded(pid, &status)) {
            if (g_stopSignal != 0 || Clock::now() >= deadline) {
                timedOut = g_stopSignal == 0;
                break;
            }
            timespec wait{0, 2 * 1000000};
            ::nanosleep(&wait, nullptr);
        }
    }
    if (timedOut || g_stopSignal != 0) {
        endChild(pid, std::chrono::milliseconds(2000));
        run.outcome = timedOut ? ChildRun::Outcome::TimedOut : ChildRun::Outcome::Stopped;
        return run;
    }
    if (WIFEXITED(status)) {
        run.outcome = ChildRun::Outcome::Exited;
        run.exitStatus = WEXITSTATUS(status);
    } else {
        run.outcome = ChildRun::Outcome::Signalled;
    }
    return run;
}

}  // namespace quorvane::tools
