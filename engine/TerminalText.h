#pragma once

#include <string>
#include <string_view>

namespace quorvane {

/// `text` with every control character (C0, DEL, the C1 range, bidirectional marks and
/// bytes that are not UTF-8) written as a visible escape (\t, \n, \r, \0, else \u{1B}),
/// so that text from a server can never steer the terminal it is printed on, nor read other
/// than it is, and a line stays one line.
std::string escapeControlCharacters(std::string_view text);

}  // namespace quorvane
