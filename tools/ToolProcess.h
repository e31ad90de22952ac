#pragma once

#include <chrono>
#include <string>

// What the two platform tools share about signals and programs; their child processes run
// through the engine's runProcess.
namespace quorvane::tools {

/// Makes SIGINT, SIGTERM and SIGHUP set a flag (and interrupt blocking calls) instead of
/// ending the tool, so that it can take back what it started first.
void installStopHandlers();
/// The stop signal received so far, or 0.
int stopSignal();

/// The absolute path of `name` from $PATH, then /usr/bin and /bin; empty when not found.
std::string findProgram(const std::string& name);

/// Sleeps up to `duration`; returns early (false) when a stop signal arrives.
bool pause(std::chrono::milliseconds duration);

}  // namespace quorvane::tools
