#pragma once

#include <string>

namespace quorvane {

/// True when `path` is the root folder of a mounted volume. Never touches the folder itself
/// where the platform allows it, so a hung or dead network mount cannot block the caller, and
/// such a mount still counts as mounted.
bool isMountRoot(const std::string& path);

}  // namespace quorvane
