#include "MountSource.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unicode/utf8.h>

#include <cstdint>

#include "SmbUrl.h"
#include "TerminalText.h"
#include "UnicodeText.h"

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
    // The server compares account names without case, in every script.
    return text::toLower(a) == text::toLower(b);
}

namespace {

bool isIpv6Address(std::string_view text) {
    in6_addr address{};
    return ::inet_pton(AF_INET6, std::string(text).c_str(), &address) == 1;
}

bool isPort(std::string_view text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    const int port = std::stoi(std::string(text));
    return port >= 1 && port <= 65535;
}

}  // namespace

std::optional<std::string> serverNameProblem(std::string_view host) {
    if (host.empty()) {
        return std::string("no server name was given");
    }
    const std::string named = "the server name \"" + escapeControlCharacters(host) + "\"";
    const auto* bytes = reinterpret_cast<const uint8_t*>(host.data());
    const auto length = static_cast<int32_t>(host.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            return named + " is not UTF-8 text";
        }
        if (c <= 0x20 || (c >= 0x7F && c <= 0x9F) || text::isBlank(static_cast<char32_t>(c)) ||
            text::isLineBreak(static_cast<char32_t>(c))) {
            return named + " holds a blank or control character";
        }
        if (c == '@' || c == '/' || c == '\\' || c == '?' || c == '#') {
            return named + " holds \"" + std::string(1, static_cast<char>(c)) +
                   "\", which no server name can hold";
        }
    }
    std::string_view port;
    bool hasPort = false;
    if (host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos || !isIpv6Address(host.substr(1, close - 1))) {
            return named + " holds no IPv6 address between \"[\" and \"]\"";
        }
        const std::string_view after = host.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            return named + " goes on after its IPv6 address with no \":PORT\"";
        }
        hasPort = !after.empty();
        port = hasPort ? after.substr(1) : after;
    } else if (host.find_first_of("[]") != std::string_view::npos) {
        return named + " holds \"[\" or \"]\", which only enclose an IPv6 address";
    } else if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
        if (host.find(':', colon + 1) != std::string_view::npos) {
            return named +
                   " holds more than one \":\": an IPv6 address stands in brackets, as in "
                   "[::1] or [::1]:445";
        }
        if (colon == 0) {
            return std::string("no server name was given");
        }
        hasPort = true;
        port = host.substr(colon + 1);
    }
    if (hasPort && !isPort(port)) {
        return named + " has a port that is not a number from 1 to 65535";
    }
    return std::nullopt;
}

}  // namespace quorvane
