#include "TerminalText.h"

#include <cstdio>

namespace quorvane {

std::string escapeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto escapeCode = [&out](unsigned code) {
        char escaped[12];
        std::snprintf(escaped, sizeof escaped, "\\u{%X}", code);
        out += escaped;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '\t':
                out += "\\t";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\0':
                out += "\\0";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7F) {
            escapeCode(c);
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F in UTF-8: C1 controls (CSI among them) that terminals obey too.
            escapeCode(static_cast<unsigned char>(text[i + 1]));
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace quorvane
