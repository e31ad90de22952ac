#include <fstream>
#include <sstream>

#include "MountTable.h"

namespace quorvane {

std::vector<MountEntry> readMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    if (!file) {
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseMountInfo(text.str());
}

}  // namespace quorvane
