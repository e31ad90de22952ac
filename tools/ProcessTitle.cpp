#include "ProcessTitle.h"

#include <string.h>

namespace quorvane::tools {

void replaceArgumentList(int argc, char** argv, const std::vector<std::string>& words) {
    if (argc <= 0 || argv == nullptr || argv[0] == nullptr) {
        return;
    }
    // The kernel shows the one block from the first argument to the end of the last.
    char* start = argv[0];
    char* end = argv[argc - 1] + ::strlen(argv[argc - 1]) + 1;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] < start || argv[i] >= end) {
            return;  // not one block: leave it alone rather than write over other memory
        }
    }
    const size_t space = static_cast<size_t>(end - start);
    std::string block;
    for (const std::string& word : words) {
        if (block.size() + word.size() + 1 > space) {
            break;
        }
        block += word;
        block += '\0';
    }
    ::explicit_bzero(start, space);
    ::memcpy(start, block.data(), block.size());
}

}  // namespace quorvane::tools
