// The share map's matching against the reference reading. Input: the user's group line value,
// a NUL, then the share map.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "ReferenceParsers.h"
#include "ShareMap.h"
#include "UnicodeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    if (nul == std::string_view::npos) {
        return 0;
    }
    const std::string_view groupText = input.substr(0, nul);
    const std::string_view map = input.substr(nul + 1);
    if (!quorvane::text::isValidUtf8(groupText) || !quorvane::text::isValidUtf8(map)) {
        return 0;
    }
    // The ASCII short cuts of the text helpers against their Unicode paths.
    FUZZ_CHECK(quorvane::text::toLower(map) == quorvane::text::toLowerUnicode(map));
    FUZZ_CHECK(quorvane::text::canonical(map) == quorvane::text::canonicalUnicode(map));
    // Groups as the logon script gives them: trimmed and lower-cased.
    const auto groups = quorvane::reference::groupLine("set GROUPS=" + std::string(groupText));
    FUZZ_CHECK(groups.has_value());
    for (const char* platform : {"osx", "linux"}) {
        FUZZ_CHECK(quorvane::matchingShareNames(map, *groups, platform) ==
                   quorvane::reference::shareNames(map, *groups, platform));
    }
    return 0;
}
