#include "AccountName.h"

namespace quorvane {

std::optional<AccountName> parseAccountName(std::string_view text) {
    AccountName account;
    if (const size_t backslash = text.find('\\'); backslash != std::string_view::npos) {
        account.domain = std::string(text.substr(0, backslash));
        account.user = std::string(text.substr(backslash + 1));
    } else if (const size_t at = text.rfind('@'); at != std::string_view::npos) {
        account.user = std::string(text.substr(0, at));
        account.domain = std::string(text.substr(at + 1));
    } else {
        account.user = std::string(text);
        return account.user.find(';') == std::string::npos ? std::optional(account) : std::nullopt;
    }
    // The mount tool splits its URL's user at ";": neither part may hold one.
    const auto fine = [](const std::string& part) {
        return !part.empty() && part.find_first_of(";\\") == std::string::npos;
    };
    if (!fine(account.domain) || !fine(account.user)) {
        return std::nullopt;
    }
    return account;
}

std::string withoutUncPrefix(std::string_view serverText) {
    if (serverText.substr(0, 2) != "\\\\") {
        return std::string(serverText);
    }
    std::string rest(serverText.substr(2));
    if (const size_t backslash = rest.find('\\'); backslash != std::string::npos) {
        rest[backslash] = '/';  // what follows the server is no part of its name
    }
    return rest;
}

}  // namespace quorvane
