#pragma once

#include <string>
#include <string_view>

namespace quorvane {

/// `text` with every control character (C0, DEL and the C1 range) written as a visible
/// escape (\t, \n, \r, \0, else \u{1B}), so that text from a server file can never steer
/// the terminal it is printed on, and a line stays one line.
std::string escapeControlCharacters(std::string_view text);

}  // namespace quorvane
