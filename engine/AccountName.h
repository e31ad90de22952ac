#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

/// A user name as typed: "alice", "CORP\alice" or "alice@corp.example".
struct AccountName {
    std::string domain;  // empty: the server's own or the client's configured one
    std::string user;    // names the home share, its folder and the user in every message

    /// What the mount tool's URL carries: "DOMAIN;user", or the user alone.
    std::string forUrl() const { return domain.empty() ? user : domain + ";" + user; }
};

/// Nothing when the text takes the Windows forms but leaves a part empty ("CORP\", "@corp")
/// or holds ";" (the URL's domain separator) or a second "\".
std::optional<AccountName> parseAccountName(std::string_view text);

/// The server text with a Windows "\\server" or "\\server\anything" turned into "server" and
/// "server/anything"; any other text unchanged.
std::string withoutUncPrefix(std::string_view serverText);

}  // namespace quorvane
