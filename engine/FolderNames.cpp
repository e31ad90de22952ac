#include "FolderNames.h"

namespace quorvane {

bool isPlainFolderName(std::string_view name) {
    // 255 bytes is the longest name a folder can have on Linux and macOS alike.
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace quorvane
