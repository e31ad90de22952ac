#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// How long a mount or unmount tool may run before it is ended and counted as failed.
inline constexpr std::chrono::seconds kToolTimeLimit{60};
/// How long a tool asked to stop may take to take back what it half made before it is killed.
inline constexpr std::chrono::seconds kStopGrace{3};

/// A request to stop early that one or more runs watch. Raising it is safe from a signal
/// handler. It is handed to each run that should obey it, so work that must run to its end
/// (taking back a half-made mount, say) simply does not take it.
class Interruption {
public:
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    /// Async-signal-safe. `reason` is kept (e.g. the signal number); the first one wins.
    void raise(int reason = 1);
    bool raised() const { return reason_.load() != 0; }
    int reason() const { return reason_.load(); }
    /// Readable once raised; for poll().
    int descriptor() const { return fds_[0]; }

private:
    int fds_[2] = {-1, -1};
    std::atomic<int> reason_{0};
};

struct ProcessResult {
    enum class Outcome {
        CouldNotStart,  // `error` tells why
        Exited,         // `exitStatus` holds the status
        Signalled,      // ended by signal `signal`
        TimedOut,       // ran past the time limit and was ended
        Interrupted,    // ended because the request's interruption was raised
    };
    Outcome outcome = Outcome::CouldNotStart;
    int exitStatus = -1;
    int signal = 0;
    std::string error;
    /// Standard output and error of the child when the request captured them.
    std::string output;
    std::string errors;

    bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

struct ProcessRequest {
    std::string executable;  // absolute path; no search of PATH
    std::vector<std::string> arguments;
    /// When set, the child reads this text from a pipe on its standard input. Otherwise it
    /// shares the caller's standard input, or reads /dev/null when `inheritStandardInput` is
    /// false.
    std::optional<std::string> standardInput;
    bool inheritStandardInput = true;
    /// The child's whole environment ("NAME=value"); the caller's when absent.
    std::optional<std::vector<std::string>> environment;
    /// Standard output and error are read into the result instead of being shared.
    bool captureOutput = false;
    /// A session of its own (no controlling terminal) rather than only a process group.
    bool newSession = false;
    std::chrono::milliseconds timeLimit = kToolTimeLimit;
    /// How long a child asked to stop (SIGTERM) may take to take back what it half made
    /// before it is killed.
    std::chrono::milliseconds stopGrace = kStopGrace;
    /// When raised while the child runs, the child and its group are ended and the result is
    /// Interrupted. A run that is not handed one always runs to its end or its limit.
    const Interruption* interruption = nullptr;
    /// Called on the calling thread right after the child started.
    std::function<void(pid_t)> started;
};

/// Starts the executable directly (no shell) with only the three standard descriptors, waits
/// for it up to the time limit and reports how it ended. Past the limit, or once the
/// interruption is raised, the child and everything in its process group get SIGTERM, then
/// SIGKILL. Every wait is bounded: a child that cannot even be killed (stuck in the kernel) is
/// left to a background reaper.
ProcessResult runProcess(const ProcessRequest& request);

/// The words of a /proc/PID/cmdline text (NUL-separated), without trailing empty ones.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace quorvane
