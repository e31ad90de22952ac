// The logon script's group line against the reference reading, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "LogonScript.h"
#include "ReferenceParsers.h"
#include "UnicodeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool valid = quorvane::text::isValidUtf8(bytes);
    FUZZ_CHECK(valid == quorvane::reference::isValidUtf8(bytes));
    if (!valid) {
        return 0;  // the engine reads only UTF-8 text
    }
    const auto groups = quorvane::parseGroupLine(bytes);
    FUZZ_CHECK(groups == quorvane::reference::groupLine(bytes));
    if (groups) {
        const std::string line = quorvane::formatGroupList(*groups);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}
