#pragma once

#include <spawn.h>
#include <sys/types.h>

// The few process details that differ between Linux and macOS.
namespace quorvane::platform {

/// A pipe whose two ends are closed in every child that does not take them explicitly.
bool makeCloseOnExecPipe(int fds[2]);

/// Makes the spawned child inherit standard input, output and error only.
void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t* actions,
                                    posix_spawnattr_t* attributes);

/// A descriptor that poll() reports readable once `pid` (a child) has ended, or -1 when the
/// platform cannot give one; the caller closes it.
int openExitDescriptor(pid_t pid);

/// Reaps `pid` if it has ended, without blocking. True when it was reaped (or is gone).
bool reapIfEnded(pid_t pid, int* status);

/// Takes a pending, blocked signal off this thread so it is never delivered.
void consumePendingSignal(int signalNumber);

}  // namespace quorvane::platform
