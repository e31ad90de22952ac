#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

/// The user an SMB mount was made for, from its source as the mount table shows it
/// ("smb://alice@fs1/share", "//CORP;alice@FS1/share"): decoded, without the domain. Nothing
/// when the source names no user.
std::optional<std::string> userOfMountSource(std::string_view source);

/// True when two user names name the same account (SMB compares them without case).
bool sameAccount(std::string_view a, std::string_view b);

/// Why `host` cannot be a server's name, or nothing when it can: empty, holding a blank (of
/// any script), a line break, a control character or one of @ / \ ? # that no host name
/// holds, an IPv6 address outside brackets, or a port outside 1 to 65535.
std::optional<std::string> serverNameProblem(std::string_view host);

}  // namespace quorvane
