#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

/// How long a mount or unmount tool may run before it is ended and counted as failed.
inline constexpr std::chrono::seconds kToolTimeLimit{60};

struct ProcessResult {
    enum class Outcome {
        CouldNotStart,  // `error` tells why
        Exited,         // `exitStatus` holds the status
        Signalled,      // ended by signal `signal`
        TimedOut,       // ran past the time limit and was ended
    };
    Outcome outcome = Outcome::CouldNotStart;
    int exitStatus = -1;
    int signal = 0;
    std::string error;

    bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

struct ProcessRequest {
    std::string executable;  // absolute path; no search of PATH
    std::vector<std::string> arguments;
    /// When set, the child reads this text from a pipe on its standard input; otherwise the
    /// child shares the caller's standard input.
    std::optional<std::string> standardInput;
    std::chrono::milliseconds timeLimit = kToolTimeLimit;
};

/// Starts the executable directly (no shell) with only the three standard descriptors, waits
/// for it up to the time limit and reports how it ended. Past the limit the child and
/// everything in its process group get SIGTERM, then SIGKILL, and the child is reaped.
ProcessResult runProcess(const ProcessRequest& request);

}  // namespace quorvane
