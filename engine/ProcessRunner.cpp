#include "ProcessRunner.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "FileServices.h"
#include "platform/Spawn.h"

extern char** environ;

namespace quorvane {

Interruption::Interruption() {
    if (platform::makeCloseOnExecPipe(fds_)) {
        ::fcntl(fds_[1], F_SETFL, ::fcntl(fds_[1], F_GETFL) | O_NONBLOCK);
    }
}

Interruption::~Interruption() {
    for (int fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Interruption::raise(int reason) {
    int expected = 0;
    if (reason_.compare_exchange_strong(expected, reason == 0 ? 1 : reason) && fds_[1] >= 0) {
        // The byte is never read, so the descriptor stays readable for every later wait.
        const char byte = 1;
        const ssize_t ignored = ::write(fds_[1], &byte, 1);
        (void)ignored;
    }
}

namespace {

using Clock = std::chrono::steady_clock;

void closeIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000 * 1000));
}

// Holds SIGPIPE back on this thread while the run writes to the child, so a child that exits
// without reading cannot end the whole program; a SIGPIPE raised meanwhile is consumed.
class PipeSignalHold {
public:
    PipeSignalHold() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
    }
    ~PipeSignalHold() {
        platform::consumePendingSignal(SIGPIPE);
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t previous_;
};

// The running child and the pipes that connect it with this process.
class Child {
public:
    explicit Child(const ProcessRequest& request) : request_(request) {}
    ~Child() {
        closeIfOpen(input_);
        closeIfOpen(output_);
        closeIfOpen(errors_);
        closeIfOpen(exitFd_);
    }

    bool start(std::string* error);
    pid_t pid() const { return pid_; }

    // Serves the pipes until the child ends (true) or `deadline` passes or `interruption`
    // is raised (false).
    bool serveUntil(Clock::time_point deadline, const Interruption* interruption);
    bool ended() const { return ended_; }
    int status() const { return status_; }

    std::string takeOutput() { return std::move(outputText_); }
    std::string takeErrors() { return std::move(errorsText_); }

private:
    void writeInput();
    void readInto(int& fd, std::string& text);
    void drainPipes();

    const ProcessRequest& request_;
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int errors_ = -1;
    int exitFd_ = -1;
    size_t inputWritten_ = 0;
    bool ended_ = false;
    int status_ = 0;
    std::string outputText_;
    std::string errorsText_;
};

bool Child::start(std::string* error) {
    std::vector<char*> argv;
    argv.reserve(request_.arguments.size() + 2);
    argv.push_back(const_cast<char*>(request_.executable.c_str()));
    for (const std::string& argument : request_.arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    if (request_.environment) {
        for (const std::string& variable : *request_.environment) {
            envp.push_back(const_cast<char*>(variable.c_str()));
        }
        envp.push_back(nullptr);
    }

    // Child ends of the pipes, closed here once the child holds them.
    int childInput = -1;
    int childOutput = -1;
    int childErrors = -1;
    auto closeChildEnds = [&] {
        closeIfOpen(childInput);
        closeIfOpen(childOutput);
        closeIfOpen(childErrors);
    };
    auto makePipe = [&](int& parentEnd, int& childEnd, bool parentReads) {
        int fds[2];
        if (!platform::makeCloseOnExecPipe(fds)) {
            return false;
        }
        parentEnd = parentReads ? fds[0] : fds[1];
        childEnd = parentReads ? fds[1] : fds[0];
        ::fcntl(parentEnd, F_SETFL, ::fcntl(parentEnd, F_GETFL) | O_NONBLOCK);
        return true;
    };
    if ((request_.standardInput && !makePipe(input_, childInput, false)) ||
        (request_.captureOutput &&
         (!makePipe(output_, childOutput, true) || !makePipe(errors_, childErrors, true)))) {
        *error = files::describeError(errno);
        closeChildEnds();
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (childInput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, childInput, STDIN_FILENO);
    } else if (!request_.inheritStandardInput) {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (childOutput >= 0) {
        posix_spawn_file_actions_adddup2(&actions, childOutput, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, childErrors, STDERR_FILENO);
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
    flags |= POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    // A group (or session) of its own lets a tool be ended with everything it started.
    if (request_.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else {
        posix_spawnattr_setpgroup(&attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attributes, flags);

    const int spawnError = posix_spawn(&pid_, request_.executable.c_str(), &actions, &attributes,
                                       argv.data(), request_.environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    closeChildEnds();
    if (spawnError != 0) {
        pid_ = -1;
        *error = request_.executable + ": " + files::describeError(spawnError);
        return false;
    }
    exitFd_ = platform::openExitDescriptor(pid_);
    if (request_.standardInput && request_.standardInput->empty()) {
        closeIfOpen(input_);
    }
    return true;
}

void Child::writeInput() {
    const std::string& text = *request_.standardInput;
    while (input_ >= 0 && inputWritten_ < text.size()) {
        const ssize_t n = ::write(input_, text.data() + inputWritten_, text.size() - inputWritten_);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN) {
                closeIfOpen(input_);  // EPIPE: the child does not read; that is its business
            }
            return;
        }
        inputWritten_ += static_cast<size_t>(n);
    }
    closeIfOpen(input_);
}

void Child::readInto(int& fd, std::string& text) {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno != EAGAIN) {
            closeIfOpen(fd);
        }
        return;
    }
}

// What the child wrote before it ended is in the pipes already; whatever it started may hold
// them open longer, so this takes what is there and never waits for the end of the stream.
void Child::drainPipes() {
    if (output_ >= 0) {
        readInto(output_, outputText_);
    }
    if (errors_ >= 0) {
        readInto(errors_, errorsText_);
    }
}

bool Child::serveUntil(Clock::time_point deadline, const Interruption* interruption) {
    for (;;) {
        if (!ended_ && platform::reapIfEnded(pid_, &status_)) {
            ended_ = true;
        }
        if (ended_) {
            drainPipes();
            return true;
        }
        if (interruption != nullptr && interruption->raised()) {
            return false;
        }
        int timeout = millisecondsUntil(deadline);
        if (timeout == 0) {
            return false;
        }
        pollfd entries[5];
        nfds_t count = 0;
        auto watch = [&](int fd, short events) {
            if (fd >= 0) {
                entries[count++] = pollfd{fd, events, 0};
            }
        };
        watch(exitFd_, POLLIN);
        watch(input_, POLLOUT);
        watch(output_, POLLIN);
        watch(errors_, POLLIN);
        watch(interruption != nullptr ? interruption->descriptor() : -1, POLLIN);
        if (exitFd_ < 0) {
            timeout = std::min(timeout, 20);  // no exit descriptor: look again shortly
        }
        if (::poll(entries, count, timeout) < 0 && errno != EINTR) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (input_ >= 0) {
            writeInput();
        }
        drainPipes();
    }
}

}  // namespace

ProcessResult runProcess(const ProcessRequest& request) {
    ProcessResult result;
    const PipeSignalHold pipeSignalHold;
    Child child(request);
    if (!child.start(&result.error)) {
        result.outcome = ProcessResult::Outcome::CouldNotStart;
        return result;
    }
    if (request.started) {
        request.started(child.pid());
    }

    auto takeStatus = [&result](int status) {
        if (WIFEXITED(status)) {
            result.outcome = ProcessResult::Outcome::Exited;
            result.exitStatus = WEXITSTATUS(status);
        } else {
            result.outcome = ProcessResult::Outcome::Signalled;
            result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        }
    };
    const bool ended = child.serveUntil(Clock::now() + request.timeLimit, request.interruption);
    if (ended) {
        takeStatus(child.status());
    } else {
        const bool interrupted = request.interruption != nullptr && request.interruption->raised();
        // Ask the tool and whatever it started in its group to stop (it may take back what it
        // half made), then insist.
        ::kill(-child.pid(), SIGTERM);
        const bool endedWhenAsked = child.serveUntil(Clock::now() + request.stopGrace, nullptr);
        const int status = child.status();
        if (interrupted && endedWhenAsked && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            // The stop came as the tool finished its work: what it made is made (a mount and
            // its daemon, say), and the caller must know it to take it back or keep it.
            takeStatus(status);
            result.output = child.takeOutput();
            result.errors = child.takeErrors();
            return result;
        }
        if (!endedWhenAsked) {
            ::kill(-child.pid(), SIGKILL);
            if (!child.serveUntil(Clock::now() + std::chrono::seconds(2), nullptr)) {
                // Stuck in the kernel (a hung network file system): never block the caller
                // on it; a reaper takes it whenever it goes.
                const pid_t pid = child.pid();
                std::thread([pid] {
                    int status = 0;
                    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                    }
                }).detach();
            }
        }
        ::kill(-child.pid(), SIGKILL);  // anything the tool left behind in its group
        if (interrupted) {
            result.outcome = ProcessResult::Outcome::Interrupted;
            result.error = request.executable + ": interrupted";
        } else {
            result.outcome = ProcessResult::Outcome::TimedOut;
            result.error = request.executable + ": no answer within " +
                           std::to_string((request.timeLimit.count() + 999) / 1000) + " s";
        }
    }
    result.output = child.takeOutput();
    result.errors = child.takeErrors();
    return result;
}

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < commandLine.size()) {
        size_t end = commandLine.find('\0', start);
        if (end == std::string::npos) {
            end = commandLine.size();
        }
        words.push_back(commandLine.substr(start, end - start));
        start = end + 1;
    }
    while (!words.empty() && words.back().empty()) {
        words.pop_back();
    }
    return words;
}

}  // namespace quorvane
