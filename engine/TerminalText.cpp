#include "TerminalText.h"

#include <cstdio>

namespace quorvane {

std::string escapeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[8];
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F in UTF-8: C1 controls (CSI among them) that terminals obey too.
            std::snprintf(escape, sizeof escape, "\\u%04X",
                          static_cast<unsigned char>(text[i + 1]));
            out += escape;
            ++i;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace quorvane
