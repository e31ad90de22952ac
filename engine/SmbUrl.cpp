#include "SmbUrl.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cctype>
#include <cstdio>

#include "AccountName.h"

namespace quorvane {

namespace {

bool isUserInfoAllowed(unsigned char c) {
    if (std::isalnum(c) != 0 && c < 0x80) {
        return true;
    }
    switch (c) {
        case '-':
        case '.':
        case '_':
        case '~':
        case '!':
        case '$':
        case '&':
        case '\'':
        case '(':
        case ')':
        case '*':
        case '+':
        case ',':
        case ';':
        case '=':
            return true;
        default:
            return false;
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool startsWithIgnoringAsciiCase(std::string_view text, size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string percentEncodeUserInfo(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUserInfoAllowed(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

std::string buildSmbUrl(std::string_view user, const std::string* password, std::string_view server,
                        std::string_view share) {
    std::string url = "smb://";
    url += percentEncodeUserInfo(user);
    if (password != nullptr) {
        url += ':';
        url += percentEncodeUserInfo(*password);
    }
    url += '@';
    url += server;
    url += '/';
    url += share;
    return url;
}

std::string serverHostFromText(std::string_view typedText) {
    constexpr std::string_view kScheme = "smb://";
    const std::string serverText = withoutUncPrefix(typedText);
    std::string remainder;
    remainder.reserve(serverText.size());
    size_t i = 0;
    while (i < serverText.size()) {
        if (startsWithIgnoringAsciiCase(serverText, i, kScheme)) {
            i += kScheme.size();
        } else {
            remainder.push_back(serverText[i++]);
        }
    }
    // "//server/share", as a UNC path is written with forward slashes, names the server too.
    if (remainder.rfind("//", 0) == 0) {
        remainder.erase(0, 2);
    }
    return remainder.substr(0, remainder.find('/'));
}

std::string hostForSambaClient(std::string_view host) {
    const size_t close = host.find(']');
    in6_addr address{};
    if (host.empty() || host.front() != '[' || close == std::string_view::npos ||
        ::inet_pton(AF_INET6, std::string(host.substr(1, close - 1)).c_str(), &address) != 1) {
        return std::string(host);
    }
    std::string literal;
    char group[8];
    for (int i = 0; i < 16; i += 2) {
        std::snprintf(group, sizeof group, "%x",
                      (address.s6_addr[i] << 8) | address.s6_addr[i + 1]);
        literal += (i == 0 ? "" : "-") + std::string(group);
    }
    return literal + ".ipv6-literal.net" + std::string(host.substr(close + 1));
}

std::optional<SmbUrlParts> parseSmbUrl(std::string_view url) {
    constexpr std::string_view kScheme = "smb://";
    if (!startsWithIgnoringAsciiCase(url, 0, kScheme)) {
        return std::nullopt;
    }
    std::string_view rest = url.substr(kScheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view authority = rest.substr(0, slash);
    SmbUrlParts parts;
    parts.share = std::string(rest.substr(slash + 1));
    while (!parts.share.empty() && parts.share.back() == '/') {
        parts.share.pop_back();
    }
    if (parts.share.empty() || parts.share.find('/') != std::string::npos) {
        return std::nullopt;
    }

    // The user information ends at the last "@": an unencoded "@" can only belong to it.
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        const size_t colon = userInfo.find(':');
        auto user = percentDecode(userInfo.substr(0, colon));
        if (!user) {
            return std::nullopt;
        }
        parts.user = *user;
        if (colon != std::string_view::npos) {
            auto password = percentDecode(userInfo.substr(colon + 1));
            if (!password) {
                return std::nullopt;
            }
            parts.password = *password;
        }
    }

    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        parts.host = std::string(authority.substr(1, close - 1));
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return std::nullopt;
            }
            portText = after.substr(1);
            if (portText.empty()) {
                return std::nullopt;
            }
        }
    } else {
        const size_t colon = authority.find(':');
        parts.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) {
                return std::nullopt;
            }
        }
    }
    if (parts.host.empty()) {
        return std::nullopt;
    }
    if (!portText.empty()) {
        int port = 0;
        for (char c : portText) {
            if (c < '0' || c > '9' || port > 65535) {
                return std::nullopt;
            }
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) {
            return std::nullopt;
        }
        parts.port = port;
    }
    return parts;
}

std::string hostWithPort(const SmbUrlParts& parts) {
    const bool bare6 = parts.host.find(':') != std::string::npos && parts.host.front() != '[';
    std::string text = bare6 ? "[" + parts.host + "]" : parts.host;
    if (parts.port) {
        text += ":" + std::to_string(*parts.port);
    }
    return text;
}

}  // namespace quorvane
