#pragma once

#include <optional>
#include <string>

// What must hold before mount_smbfs starts a mount: a usable mount point, and FUSE.
namespace quorvane::tools {

/// Why `given` cannot take a mount (missing, not a folder, not empty, mounted already), or
/// nothing; `resolved` gets the path with its parent resolved.
std::optional<std::string> mountPointProblem(const std::string& given, std::string* resolved);

/// Why FUSE mounts cannot be made here, with the fix, or nothing when they can.
std::optional<std::string> fuseProblem();

}  // namespace quorvane::tools
