#include "LogonScript.h"

#include "TerminalText.h"
#include "UnicodeText.h"

namespace quorvane {

std::optional<std::vector<std::string>> parseGroupLine(std::string_view text) {
    constexpr std::string_view kPrefix = "set GROUPS=";
    for (std::string_view line : text::splitLines(text)) {
        const std::string_view trimmed = text::trimBlanksAndLineBreaks(line);
        if (trimmed.substr(0, kPrefix.size()) != kPrefix) {
            continue;
        }
        // Every occurrence goes, not just the leading one, as the scripts in the field expect.
        const std::string value = text::removeAll(trimmed, kPrefix);
        std::vector<std::string> groups;
        for (std::string_view piece : text::split(value, ':')) {
            groups.push_back(text::toLower(text::trimBlanksAndLineBreaks(piece)));
        }
        return groups;
    }
    return std::nullopt;
}

std::string formatGroupList(const std::vector<std::string>& groups) {
    std::string out = "[";
    for (size_t i = 0; i < groups.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        // Quotes and backslashes first, so the escapes of the control characters stay single.
        std::string quoted;
        for (char ch : groups[i]) {
            if (ch == '"' || ch == '\\') {
                quoted += '\\';
            }
            quoted += ch;
        }
        out += '"' + escapeControlCharacters(quoted) + '"';
    }
    out += ']';
    return out;
}

}  // namespace quorvane
