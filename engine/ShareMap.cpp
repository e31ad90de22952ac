#include "ShareMap.h"

#include <unordered_set>

#include "UnicodeText.h"

namespace quorvane {

namespace {

// Calls `visit` with every piece of `text` cut at `separator` until it returns true; true when
// one did. Walks the text in place, so long lines cost no allocation.
template <typename Visit>
bool anyPiece(std::string_view text, char separator, Visit visit) {
    for (;;) {
        const size_t at = text.find(separator);
        if (visit(text.substr(0, at))) {
            return true;
        }
        if (at == std::string_view::npos) {
            return false;
        }
        text.remove_prefix(at + 1);
    }
}

bool isAsciiBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimAsciiBlanks(std::string_view text) {
    while (!text.empty() && isAsciiBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isAsciiBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// ASCII fields take a path without ICU and without copies; any other field is lower-cased as a
// whole first, as the format describes, since a non-ASCII letter may lower-case to ASCII.
bool namesPlatform(std::string_view field, std::string_view platformWord) {
    if (text::isAscii(field)) {
        return anyPiece(field, ',', [&](std::string_view piece) {
            if (piece.size() != platformWord.size()) {
                return false;
            }
            for (size_t i = 0; i < piece.size(); ++i) {
                if (text::asciiLower(piece[i]) != platformWord[i]) {
                    return false;
                }
            }
            return true;
        });
    }
    const std::string platforms = text::toLower(field);
    return anyPiece(platforms, ',', [&](std::string_view piece) { return piece == platformWord; });
}

// The user's groups in canonical form: one lookup per piece keeps a line linear in its length
// however many groups there are.
class GroupSet {
public:
    explicit GroupSet(const std::vector<std::string>& groups) {
        groups_.reserve(groups.size());
        for (const std::string& group : groups) {
            groups_.insert(text::canonical(group));
        }
    }

    bool namesOneOf(std::string_view field) {
        if (text::isAscii(field)) {
            return anyPiece(field, ',', [&](std::string_view piece) {
                piece = trimAsciiBlanks(piece);
                scratch_.assign(piece.data(), piece.size());
                for (char& c : scratch_) {
                    c = text::asciiLower(c);
                }
                return groups_.count(scratch_) != 0;
            });
        }
        const std::string criteria = text::toLower(field);
        return anyPiece(criteria, ',', [&](std::string_view piece) {
            return groups_.count(text::canonical(text::trimBlanks(piece))) != 0;
        });
    }

private:
    std::unordered_set<std::string> groups_;
    std::string scratch_;  // reused, so that ASCII pieces are compared without an allocation
};

}  // namespace

std::vector<std::string> matchingShareNames(std::string_view text,
                                            const std::vector<std::string>& groups,
                                            std::string_view platformWord) {
    GroupSet userGroups(groups);
    std::vector<std::string> shares;
    for (std::string_view line : text::splitLines(text)) {
        const std::string_view trimmed = text::trimBlanksAndLineBreaks(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            continue;
        }
        // Share name, platform list, group criteria; anything after a third ":" is ignored.
        const size_t first = trimmed.find(':');
        const size_t second =
            first == std::string_view::npos ? first : trimmed.find(':', first + 1);
        if (second == std::string_view::npos) {
            continue;
        }
        const std::string_view platforms = trimmed.substr(first + 1, second - first - 1);
        const std::string_view criteria =
            trimmed.substr(second + 1, trimmed.find(':', second + 1) - second - 1);

        // Platform pieces are deliberately not trimmed: "win, osx" does not name "osx".
        if (namesPlatform(platforms, platformWord) && userGroups.namesOneOf(criteria)) {
            shares.emplace_back(text::trimBlanks(trimmed.substr(0, first)));
        }
    }
    return shares;
}

}  // namespace quorvane
