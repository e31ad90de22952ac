#include "TerminalText.h"

#include <cstdio>

namespace quorvane {

namespace {

constexpr unsigned kInvalid = 0xFFFFFFFF;

size_t utf8Length(unsigned char lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

// The code point of the well-formed UTF-8 sequence at `at`, or kInvalid.
unsigned decodeUtf8(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0xC2 || lead > 0xF4) {
        return kInvalid;
    }
    const size_t length = utf8Length(lead);
    if (at + length > text.size()) {
        return kInvalid;
    }
    unsigned code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return kInvalid;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const unsigned smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return kInvalid;
    }
    return code;
}

bool isBidiControl(unsigned code) {
    return code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

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
            continue;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        const unsigned code = decodeUtf8(text, i);
        if (code == kInvalid) {
            // A stray byte: a terminal in an 8-bit mode may take 0x9B as CSI.
            escapeCode(c);
        } else if ((code >= 0x80 && code <= 0x9F) || isBidiControl(code)) {
            // C1 controls that terminals obey, and the marks that make a line read other than
            // it is stored.
            escapeCode(code);
            i += utf8Length(c) - 1;
        } else {
            out.append(text.substr(i, utf8Length(c)));
            i += utf8Length(c) - 1;
        }
    }
    return out;
}

}  // namespace quorvane
