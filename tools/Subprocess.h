#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Child processes of the two platform tools: started directly (no shell), with only the
// three standard descriptors, and ended by them on a stop signal.
namespace quorvane::tools {

/// Makes SIGINT, SIGTERM and SIGHUP set a flag (and interrupt blocking calls) instead of
/// ending the tool, so that it can take back what it started first.
void installStopHandlers();
/// The stop signal received so far, or 0.
int stopSignal();

/// The absolute path of `name` from $PATH, then /usr/bin and /bin; empty when not found.
std::string findProgram(const std::string& name);

/// This process's environment without the variables whose names start with `prefix`.
std::vector<std::string> environmentWithout(const std::string& prefix);

struct ChildSpec {
    std::string program;  // absolute path
    std::vector<std::string> arguments;
    std::vector<std::string> environment;  // "NAME=value"
    /// Written to the child's standard input, which is then closed; /dev/null when absent.
    std::optional<std::string> input;
    /// Standard output and error are read back when true, else they go to /dev/null.
    bool captureOutput = true;
    /// The child gets a session of its own, so it outlives this tool and its terminal.
    bool newSession = false;
};

struct ChildRun {
    enum class Outcome { CouldNotStart, Exited, Signalled, TimedOut, Stopped };
    Outcome outcome = Outcome::CouldNotStart;
    int exitStatus = -1;
    std::string output;
    std::string errors;
    std::string startError;

    bool succeeded() const { return outcome == Outcome::Exited && exitStatus == 0; }
};

/// Runs the child to its end, up to `limit`. Past the limit, or when a stop signal arrives,
/// the child is ended (SIGTERM, then SIGKILL) and reaped.
ChildRun runChild(const ChildSpec& request, std::chrono::milliseconds limit);

/// Starts the child and returns at once; -1 (and `error`) when it cannot be started. Its
/// standard streams go to /dev/null; `input` is ignored.
pid_t startChild(const ChildSpec& request, std::string* error);

/// True once `pid` (a child of this process) has ended; it is then reaped.
bool childEnded(pid_t pid, int* status = nullptr);

/// Ends a child of this process: SIGTERM, up to `grace` to go, then SIGKILL; always reaped.
void endChild(pid_t pid, std::chrono::milliseconds grace);

/// Sleeps up to `duration`; returns early (false) when a stop signal arrives.
bool pause(std::chrono::milliseconds duration);

}  // namespace quorvane::tools
