#include "ShareMap.h"

#include <cstdint>
#include <cstring>
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

// A hash of its own: the standard library's unordered_set compares a key with every element,
// one by one, for a set of up to 20 elements under its own string hash.
struct GroupHash {
    size_t operator()(const std::string& group) const noexcept {
        return std::hash<std::string_view>()(group);
    }
};

// The user's groups in canonical form: one lookup per piece keeps a line linear in its length
// however many groups there are. Nearly every piece of a share map names someone else's group,
// so a one-hash bit filter answers most pieces before the set is asked.
class GroupSet {
public:
    explicit GroupSet(const std::vector<std::string>& groups) {
        size_t bits = 4096;
        while (bits < groups.size() * 16) {
            bits *= 2;
        }
        filter_.assign(bits / 64, 0);
        mask_ = bits - 1;
        groups_.reserve(groups.size());
        for (const std::string& group : groups) {
            const std::string& added = *groups_.insert(text::canonical(group)).first;
            const uint64_t bit = quickHash(added) & mask_;
            filter_[bit / 64] |= uint64_t{1} << (bit % 64);
        }
    }

    bool namesOneOf(std::string_view field) {
        if (text::isAscii(field)) {
            return anyPiece(field, ',', [&](std::string_view piece) {
                piece = trimAsciiBlanks(piece);
                const uint64_t bit = quickHash(piece) & mask_;
                if (((filter_[bit / 64] >> (bit % 64)) & 1) == 0) {
                    return false;
                }
                scratch_.resize(piece.size());
                for (size_t i = 0; i < piece.size(); ++i) {
                    scratch_[i] = text::asciiLower(piece[i]);
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
    // Eight ASCII bytes lower-cased at once: 0x20 added to each byte from 'A' to 'Z'.
    static uint64_t lowerAscii(uint64_t word) {
        constexpr uint64_t kOnes = 0x0101010101010101u;
        const uint64_t atLeastA = word + kOnes * (0x80 - 'A');
        const uint64_t aboveZ = word + kOnes * (0x80 - 'Z' - 1);
        return word | ((atLeastA & ~aboveZ & kOnes * 0x80) >> 2);
    }

    // Of the lower-cased ASCII text: its length and first and last eight bytes, mixed by two
    // multiplications, with no loop over the bytes.
    static uint64_t quickHash(std::string_view text) {
        uint64_t head = 0;
        uint64_t tail = 0;
        if (text.size() >= 8) {
            std::memcpy(&head, text.data(), 8);
            std::memcpy(&tail, text.data() + text.size() - 8, 8);
        } else {
            std::memcpy(&head, text.data(), text.size());
        }
        head = lowerAscii(head);
        tail = lowerAscii(tail);
        uint64_t hash = (head * 0x9E3779B97F4A7C15u) ^ (tail + text.size());
        hash *= 0xC2B2AE3D27D4EB4Fu;
        return hash ^ (hash >> 29);
    }

    std::unordered_set<std::string, GroupHash> groups_;
    std::vector<uint64_t> filter_;
    size_t mask_ = 0;
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
