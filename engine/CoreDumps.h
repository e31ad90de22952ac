#pragma once

namespace quorvane {

/// Keeps the password this process holds out of core dumps and away from debuggers of the
/// same user: no core file, and (on Linux) not dumpable.
void disableCoreDumps();

}  // namespace quorvane
