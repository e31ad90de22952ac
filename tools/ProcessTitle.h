#pragma once

#include <string>
#include <vector>

// What other processes see of this one's argument list (/proc/PID/cmdline).
namespace quorvane::tools {

/// Writes `words` over the memory of the argument list, so that /proc/PID/cmdline shows them
/// instead of what the process was started with (which may hold a password). Words that do
/// not fit in the original space are cut; the rest of the space is cleared.
void replaceArgumentList(int argc, char** argv, const std::vector<std::string>& words);

}  // namespace quorvane::tools
