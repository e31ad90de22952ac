#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

/// The share names of the share map lines that name `platformWord` and one of `groups`,
/// in file order (a share listed twice comes twice). `text` must be valid UTF-8 and `groups`
/// lower-cased.
std::vector<std::string> matchingShareNames(std::string_view text,
                                            const std::vector<std::string>& groups,
                                            std::string_view platformWord);

}  // namespace quorvane
