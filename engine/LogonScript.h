#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The groups of the first "set GROUPS=" line of a logon script's text: trimmed, lower-cased,
/// in order. Nothing when no line qualifies. `text` must be valid UTF-8.
std::optional<std::vector<std::string>> parseGroupLine(std::string_view text);

/// The group list as one diagnostic line's worth: ["a", "b"], with quotes, backslashes and
/// control characters escaped by a backslash so that it stays one line.
std::string formatGroupList(const std::vector<std::string>& groups);

}  // namespace quorvane
