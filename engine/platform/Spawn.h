#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <chrono>

// The few process details that differ between Linux and macOS.
namespace quorvane::platform {

/// A pipe whose two ends are closed in every child that does not take them explicitly.
bool makeCloseOnExecPipe(int fds[2]);

/// Makes the spawned child inherit standard input, output and error only.
void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t* actions,
                                    posix_spawnattr_t* attributes);

/// Waits until `pid` has ended, up to `limit`, and reaps it. False when it still runs.
bool waitForExit(pid_t pid, std::chrono::milliseconds limit, int* status);

/// Takes a pending, blocked signal off this thread so it is never delivered.
void consumePendingSignal(int signalNumber);

}  // namespace quorvane::platform
