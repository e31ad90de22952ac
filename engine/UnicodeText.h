#pragma once

#include <string>
#include <string_view>
#include <vector>

// Unicode text helpers for the two server files. All texts are UTF-8.
namespace quorvane::text {

/// U+000A to U+000D, U+0085, U+2028, U+2029.
bool isLineBreak(char32_t c);
/// Tab and every character of the category Zs (space separators).
bool isBlank(char32_t c);

/// True when every byte is below 0x80. ASCII text lower-cases byte by byte and is always in
/// composed form, so it can take paths that need no ICU.
bool isAscii(std::string_view text);
/// True when `bytes` is well-formed UTF-8.
bool isValidUtf8(std::string_view bytes);
/// `bytes` without a UTF-8 byte-order mark at its very start.
std::string_view withoutByteOrderMark(std::string_view bytes);

/// Cuts `text` at every line-break character; a CR LF pair gives an empty line in between.
std::vector<std::string_view> splitLines(std::string_view text);
/// Cuts `text` at every occurrence of the ASCII `separator`; never yields zero pieces.
std::vector<std::string_view> split(std::string_view text, char separator);

std::string_view trimBlanks(std::string_view text);
std::string_view trimBlanksAndLineBreaks(std::string_view text);

/// Unicode default lower-casing, the same in every locale.
std::string toLower(std::string_view text);
/// The canonical composition (NFC), so that canonically equivalent texts compare equal.
std::string canonical(std::string_view text);
/// `toLower` and `canonical` through ICU whatever the text: the reference for their ASCII paths.
std::string toLowerUnicode(std::string_view text);
std::string canonicalUnicode(std::string_view text);
/// A-Z to a-z, every other byte unchanged: `toLower` of ASCII text, one byte at a time.
inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Every occurrence of `needle` removed, in one pass from left to right.
std::string removeAll(std::string_view text, std::string_view needle);

}  // namespace quorvane::text
