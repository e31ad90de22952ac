#include "UnicodeText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace quorvane::text {

bool isLineBreak(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isBlank(char32_t c) {
    if (c < 0x80) {
        return c == 0x09 || c == 0x20;
    }
    return u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080u;
constexpr uint64_t kOnes = 0x0101010101010101u;

uint64_t eightBytesAt(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// True when one of the eight bytes is a line-break byte (0x0A to 0x0D: tested as "below 0x0E",
// the rare control bytes below 0x0A only cost a closer look) or not ASCII.
bool mayHoldLineBreak(uint64_t word) {
    return ((((word - kOnes * 0x0E) & ~word) | word) & kHighBits) != 0;
}

}  // namespace

bool isAscii(std::string_view text) {
    size_t i = 0;
    uint64_t any = 0;
    for (; i + 8 <= text.size(); i += 8) {
        any |= eightBytesAt(text.data() + i);
    }
    for (; i < text.size(); ++i) {
        any |= static_cast<unsigned char>(text[i]);
    }
    return (any & kHighBits) == 0;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t length = bytes.size();
    size_t i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        // U8_NEXT counts in int32_t: decode from a window that starts at the sequence, so a
        // text larger than 2 GiB cannot overflow the index.
        const int32_t window = static_cast<int32_t>(std::min<size_t>(length - i, 4));
        int32_t at = 0;
        UChar32 c;
        U8_NEXT(s + i, at, window, c);
        if (c < 0) {
            return false;
        }
        i += static_cast<size_t>(at);
    }
    return true;
}

std::string_view withoutByteOrderMark(std::string_view bytes) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.substr(0, kBom.size()) == kBom) {
        bytes.remove_prefix(kBom.size());
    }
    return bytes;
}

namespace {

// Decodes the code point starting at byte `i`; `next` receives the index after it. The text
// is known to be valid UTF-8, a malformed sequence decodes as U+FFFD all the same.
char32_t decodeAt(std::string_view text, size_t i, size_t* next) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t index = static_cast<int32_t>(i);
    UChar32 c;
    U8_NEXT(s, index, static_cast<int32_t>(text.size()), c);
    *next = static_cast<size_t>(index);
    return c < 0 ? 0xFFFD : static_cast<char32_t>(c);
}

// Decodes the code point that ends just before byte `end`; `start` receives its first index.
char32_t decodeBefore(std::string_view text, size_t end, size_t* start) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    int32_t index = static_cast<int32_t>(end);
    UChar32 c;
    U8_PREV(s, 0, index, c);
    *start = static_cast<size_t>(index);
    return c < 0 ? 0xFFFD : static_cast<char32_t>(c);
}

// ASCII characters are their own code points: only other bytes need decoding.
template <typename Predicate>
std::string_view trimWhere(std::string_view text, Predicate strip) {
    size_t begin = 0;
    while (begin < text.size()) {
        const auto byte = static_cast<unsigned char>(text[begin]);
        size_t next = begin + 1;
        if (!strip(byte < 0x80 ? char32_t{byte} : decodeAt(text, begin, &next))) {
            break;
        }
        begin = next;
    }
    size_t end = text.size();
    while (end > begin) {
        const auto byte = static_cast<unsigned char>(text[end - 1]);
        size_t start = end - 1;
        if (!strip(byte < 0x80 ? char32_t{byte} : decodeBefore(text, end, &start))) {
            break;
        }
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t lineStart = 0;
    size_t i = 0;
    while (i < text.size()) {
        // By far the most common case: eight ASCII bytes without a line break.
        if (i + 8 <= text.size() && !mayHoldLineBreak(eightBytesAt(text.data() + i))) {
            i += 8;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte > 0x0D && byte < 0x80) {
            ++i;
            continue;
        }
        // Only bytes of other characters need decoding to find U+0085, U+2028, U+2029.
        size_t next = i + 1;
        const bool lineBreak = byte < 0x80 ? byte >= 0x0A : isLineBreak(decodeAt(text, i, &next));
        if (lineBreak) {
            lines.push_back(text.substr(lineStart, i - lineStart));
            lineStart = next;
        }
        i = next;
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::string_view trimBlanks(std::string_view text) {
    return trimWhere(text, isBlank);
}

std::string_view trimBlanksAndLineBreaks(std::string_view text) {
    return trimWhere(text, [](char32_t c) { return isBlank(c) || isLineBreak(c); });
}

std::string toLower(std::string_view text) {
    if (isAscii(text)) {  // the common case needs no trip through UTF-16
        std::string lowered(text);
        for (char& c : lowered) {
            c = asciiLower(c);
        }
        return lowered;
    }
    return toLowerUnicode(text);
}

std::string toLowerUnicode(std::string_view text) {
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    s.toLower(icu::Locale::getRoot());
    std::string out;
    s.toUTF8String(out);
    return out;
}

std::string canonical(std::string_view text) {
    if (isAscii(text)) {
        return std::string(text);  // ASCII text is always in composed form
    }
    return canonicalUnicode(text);
}

std::string canonicalUnicode(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
    if (nfc->isNormalizedUTF8(piece, status) && U_SUCCESS(status)) {
        return std::string(text);
    }
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out);
    nfc->normalizeUTF8(0, piece, sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(text);
}

std::string removeAll(std::string_view text, std::string_view needle) {
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (;;) {
        const size_t at = needle.empty() ? std::string_view::npos : text.find(needle, start);
        if (at == std::string_view::npos) {
            out.append(text.substr(start));
            return out;
        }
        out.append(text.substr(start, at - start));
        start = at + needle.size();
    }
}

}  // namespace quorvane::text
