#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MountTable.h"
#include "SmbUrl.h"

// Slow, plain readings of the engine's text formats, written straight from their descriptions
// and sharing no code with the engine: every text is decoded to code points and lower-cased
// and normalised through ICU, whatever it holds. The unit tests and the fuzz targets hold the
// engine's fast parsers against them.
namespace quorvane::reference {

bool isValidUtf8(std::string_view bytes);

/// The group list of a logon script's text (valid UTF-8).
std::optional<std::vector<std::string>> groupLine(std::string_view text);

/// The matching share names of a share map's text (valid UTF-8).
std::vector<std::string> shareNames(std::string_view text, const std::vector<std::string>& groups,
                                    std::string_view platformWord);

/// The entries of a mountinfo text.
std::vector<MountEntry> mountInfo(std::string_view text);

/// An smb://[USER[:PASS]@]HOST[:PORT]/SHARE URL taken apart, by one regular expression.
std::optional<SmbUrlParts> smbUrl(std::string_view url);

}  // namespace quorvane::reference
