#include "MountSource.h"

#include "SmbUrl.h"
#include "TerminalText.h"

namespace quorvane {

std::optional<std::string> userOfMountSource(std::string_view source) {
    const size_t slashes = source.find("//");
    if (slashes == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = source.substr(slashes + 2);
    rest = rest.substr(0, rest.find('/'));
    const size_t at = rest.rfind('@');
    if (at == std::string_view::npos || at == 0) {
        return std::nullopt;
    }
    std::string_view user = rest.substr(0, at);
    user = user.substr(0, user.find(':'));  // a password, should a source ever carry one
    if (const size_t semicolon = user.find(';'); semicolon != std::string_view::npos) {
        user.remove_prefix(semicolon + 1);  // "DOMAIN;user"
    }
    std::optional<std::string> decoded = percentDecode(user);
    if (!decoded || decoded->empty()) {
        return std::nullopt;
    }
    return decoded;
}

bool sameAccount(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> serverNameProblem(std::string_view host) {
    if (host.empty()) {
        return std::string("no server name was given");
    }
    for (size_t i = 0; i < host.size(); ++i) {
        const auto c = static_cast<unsigned char>(host[i]);
        const bool noBreakSpace =
            c == 0xC2 && i + 1 < host.size() && static_cast<unsigned char>(host[i + 1]) == 0xA0;
        if (c <= 0x20 || c == 0x7F || noBreakSpace) {
            return "the server name \"" + escapeControlCharacters(host) +
                   "\" holds a blank or control character";
        }
        if (c == '@' || c == '/' || c == '\\' || c == '?' || c == '#') {
            return "the server name \"" + escapeControlCharacters(host) + "\" holds \"" +
                   std::string(1, static_cast<char>(c)) + "\", which no server name can hold";
        }
    }
    return std::nullopt;
}

}  // namespace quorvane
