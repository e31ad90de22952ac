#include "LaunchMode.h"

#include <cstring>

namespace quorvane {

LaunchMode launchModeFor(int argc, char** argv) {
    if (argc < 2) {
        return LaunchMode::gui;
    }
    const char* first = argv[1];
    for (const char* own : {"--help", "-h", "--version"}) {
        if (std::strcmp(first, own) == 0) {
            return LaunchMode::commandLine;
        }
    }
    return first[0] == '-' ? LaunchMode::gui : LaunchMode::commandLine;
}

}  // namespace quorvane
