#pragma once

#include <string_view>

namespace quorvane {

/// True when `name` can stand as one folder directly inside the mount root: not empty, at
/// most 255 bytes, not "." or "..", and without "/" or NUL.
bool isPlainFolderName(std::string_view name);

}  // namespace quorvane
