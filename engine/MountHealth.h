#pragma once

#include <chrono>
#include <string>

namespace quorvane {

enum class MountHealth {
    Answering,
    Dead,          // its daemon is gone: "Transport endpoint is not connected"
    NotAnswering,  // no answer within the limit
};

/// Asks the mounted file system for its figures, in a child process so that a hung mount
/// can only cost `limit`.
MountHealth checkMountHealth(const std::string& mountPoint,
                             std::chrono::milliseconds limit = std::chrono::seconds(3));

}  // namespace quorvane
