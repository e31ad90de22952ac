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

/// Every occurrence of `needle` removed, in one pass from left to right.
std::string removeAll(std::string_view text, std::string_view needle);

}  // namespace quorvane::text
