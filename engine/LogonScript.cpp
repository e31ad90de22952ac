#include "LogonScript.h"

#include <cstdio>

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
        out += '"';
        for (char ch : groups[i]) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\0':
                    out += "\\0";
                    break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        char escaped[10];
                        std::snprintf(escaped, sizeof escaped, "\\u{%X}", c);
                        out += escaped;
                    } else {
                        out += ch;
                    }
            }
        }
        out += '"';
    }
    out += ']';
    return out;
}

}  // namespace quorvane
