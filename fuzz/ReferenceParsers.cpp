#include "ReferenceParsers.h"

#include <cctype>
#include <regex>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

namespace quorvane::reference {

namespace {

using icu::UnicodeString;

UnicodeString decode(std::string_view text) {
    return UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string encode(const UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isLineBreak(UChar32 c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isBlank(UChar32 c) {
    return c == 0x09 || u_charType(c) == U_SPACE_SEPARATOR;
}

bool isBlankOrLineBreak(UChar32 c) {
    return isBlank(c) || isLineBreak(c);
}

// Copies, never aliases: the pieces outlive temporaries they were cut from.
UnicodeString between(const UnicodeString& text, int32_t start, int32_t end) {
    UnicodeString piece;
    text.extractBetween(start, end, piece);
    return piece;
}

// The pieces between the code points for which `cutHere` holds; never zero pieces.
template <typename Predicate>
std::vector<UnicodeString> cut(const UnicodeString& text, Predicate cutHere) {
    std::vector<UnicodeString> pieces;
    int32_t start = 0;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        if (cutHere(text.char32At(i))) {
            pieces.push_back(between(text, start, i));
            start = text.moveIndex32(i, 1);
        }
    }
    pieces.push_back(between(text, start, text.length()));
    return pieces;
}

std::vector<UnicodeString> cutAt(const UnicodeString& text, UChar32 separator) {
    return cut(text, [separator](UChar32 c) { return c == separator; });
}

template <typename Predicate>
UnicodeString trim(const UnicodeString& text, Predicate strip) {
    int32_t begin = 0;
    while (begin < text.length() && strip(text.char32At(begin))) {
        begin = text.moveIndex32(begin, 1);
    }
    int32_t end = text.length();
    while (end > begin) {
        const int32_t last = text.moveIndex32(end, -1);
        if (!strip(text.char32At(last))) {
            break;
        }
        end = last;
    }
    return between(text, begin, end);
}

UnicodeString lower(UnicodeString text) {
    text.toLower(icu::Locale::getRoot());
    return text;
}

UnicodeString composed(const UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    UnicodeString out = nfc->normalize(text, status);
    return U_SUCCESS(status) ? out : text;
}

std::string undoEscapes(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        const std::string next = field.substr(i + 1, 3);
        if (field[i] == '\\' && next.size() == 3 &&
            next.find_first_not_of("01234567") == std::string::npos) {
            out += static_cast<char>(std::stoi(next, nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::optional<std::string> percentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const std::string hex = text.substr(i + 1, 2);
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
            return std::nullopt;
        }
        out += static_cast<char>(std::stoi(hex, nullptr, 16));
        i += 2;
    }
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8(nullptr, 0, &length, bytes.data(), static_cast<int32_t>(bytes.size()), &status);
    return status != U_INVALID_CHAR_FOUND && status != U_ILLEGAL_CHAR_FOUND;
}

std::optional<std::vector<std::string>> groupLine(std::string_view text) {
    const std::string prefix = "set GROUPS=";
    for (const UnicodeString& line : cut(decode(text), isLineBreak)) {
        const UnicodeString trimmed = trim(line, isBlankOrLineBreak);
        if (!trimmed.startsWith(decode(prefix))) {
            continue;
        }
        std::string value = encode(trimmed);
        for (size_t at = value.find(prefix); at != std::string::npos; at = value.find(prefix, at)) {
            value.erase(at, prefix.size());
        }
        std::vector<std::string> groups;
        for (const UnicodeString& piece : cutAt(decode(value), ':')) {
            groups.push_back(encode(lower(trim(piece, isBlankOrLineBreak))));
        }
        return groups;
    }
    return std::nullopt;
}

std::vector<std::string> shareNames(std::string_view text, const std::vector<std::string>& groups,
                                    std::string_view platformWord) {
    std::vector<UnicodeString> wanted;
    for (const std::string& group : groups) {
        wanted.push_back(composed(decode(group)));
    }
    std::vector<std::string> shares;
    for (const UnicodeString& line : cut(decode(text), isLineBreak)) {
        const UnicodeString trimmed = trim(line, isBlankOrLineBreak);
        if (trimmed.isEmpty() || trimmed.charAt(0) == '#') {
            continue;
        }
        const std::vector<UnicodeString> fields = cutAt(trimmed, ':');
        if (fields.size() < 3) {
            continue;
        }
        bool forThisPlatform = false;
        for (const UnicodeString& piece : cutAt(lower(fields[1]), ',')) {
            forThisPlatform = forThisPlatform || piece == decode(platformWord);
        }
        bool forOneOfTheGroups = false;
        for (const UnicodeString& piece : cutAt(lower(fields[2]), ',')) {
            for (const UnicodeString& group : wanted) {
                forOneOfTheGroups = forOneOfTheGroups || composed(trim(piece, isBlank)) == group;
            }
        }
        if (forThisPlatform && forOneOfTheGroups) {
            shares.push_back(encode(trim(fields[0], isBlank)));
        }
    }
    return shares;
}

std::vector<MountEntry> mountInfo(std::string_view text) {
    // id parent major:minor root mount-point options [optional fields...] - type source super
    std::vector<MountEntry> table;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string line(text.substr(start, end - start));
        start = end + 1;
        std::vector<std::string> words;
        size_t from = 0;
        while (from <= line.size()) {
            const size_t space = std::min(line.find(' ', from), line.size());
            if (space > from) {
                words.push_back(line.substr(from, space - from));
            }
            from = space + 1;
        }
        if (words.size() < 5) {
            continue;
        }
        size_t dash = 5;
        while (dash < words.size() && words[dash] != "-") {
            ++dash;
        }
        if (dash + 1 >= words.size()) {
            continue;
        }
        const std::string source = dash + 2 < words.size() ? words[dash + 2] : "";
        table.push_back({undoEscapes(words[4]), undoEscapes(words[dash + 1]), undoEscapes(source),
                         undoEscapes(words[3])});
    }
    return table;
}

std::optional<SmbUrlParts> smbUrl(std::string_view url) {
    // The user information runs to the last "@" before the first "/": an unencoded "@" can
    // only belong to it.
    static const std::regex whole(R"(^[sS][mM][bB]://(?:([^/]*)@)?([^/]*)/([\s\S]*)$)");
    static const std::regex bracketed(R"(^\[([^\]]*)\](?::([0-9]+))?$)");
    static const std::regex plain(R"(^([^:]*)(?::([0-9]+))?$)");
    const std::string text(url);
    std::smatch parts;
    if (!std::regex_match(text, parts, whole)) {
        return std::nullopt;
    }
    SmbUrlParts result;
    result.share = parts[3].str();
    while (!result.share.empty() && result.share.back() == '/') {
        result.share.pop_back();
    }
    if (result.share.empty() || result.share.find('/') != std::string::npos) {
        return std::nullopt;
    }
    if (parts[1].matched) {
        const std::string userInfo = parts[1].str();
        const size_t colon = userInfo.find(':');
        const auto user = percentDecoded(userInfo.substr(0, colon));
        if (!user) {
            return std::nullopt;
        }
        result.user = *user;
        if (colon != std::string::npos) {
            result.password = percentDecoded(userInfo.substr(colon + 1));
            if (!result.password) {
                return std::nullopt;
            }
        }
    }
    const std::string hostAndPort = parts[2].str();
    std::smatch host;
    if (!std::regex_match(hostAndPort, host,
                          !hostAndPort.empty() && hostAndPort[0] == '[' ? bracketed : plain)) {
        return std::nullopt;
    }
    result.host = host[1].str();
    if (result.host.empty()) {
        return std::nullopt;
    }
    if (host[2].matched) {
        const std::string digits = host[2].str();
        const size_t significant = std::min(digits.find_first_not_of('0'), digits.size());
        if (digits.size() - significant > 5) {
            return std::nullopt;
        }
        const int port = significant == digits.size() ? 0 : std::stoi(digits.substr(significant));
        if (port < 1 || port > 65535) {
            return std::nullopt;
        }
        result.port = port;
    }
    return result;
}

}  // namespace quorvane::reference
