// The mountinfo parser against the reference reading, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "MountTable.h"
#include "ReferenceParsers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto table = quorvane::parseMountInfo(text);
    const auto expected = quorvane::reference::mountInfo(text);
    FUZZ_CHECK(table.size() == expected.size());
    for (size_t i = 0; i < table.size(); ++i) {
        FUZZ_CHECK(table[i].mountPoint == expected[i].mountPoint);
        FUZZ_CHECK(table[i].fileSystemType == expected[i].fileSystemType);
        FUZZ_CHECK(table[i].source == expected[i].source);
        FUZZ_CHECK(table[i].root == expected[i].root);
    }
    return 0;
}
