#include "ShareMap.h"

#include <algorithm>

#include "UnicodeText.h"

namespace quorvane {

std::vector<std::string> matchingShareNames(std::string_view text,
                                            const std::vector<std::string>& groups,
                                            std::string_view platformWord) {
    // Group names compare by canonical equivalence; normalise the user's side once.
    std::vector<std::string> userGroups;
    userGroups.reserve(groups.size());
    for (const std::string& group : groups) {
        userGroups.push_back(text::canonical(group));
    }

    std::vector<std::string> shares;
    for (std::string_view line : text::splitLines(text)) {
        const std::string_view trimmed = text::trimBlanksAndLineBreaks(line);
        if (trimmed.empty() || trimmed.front() == '#') {
            continue;
        }
        const std::vector<std::string_view> fields = text::split(trimmed, ':');
        if (fields.size() < 3) {
            continue;
        }

        // Platform pieces are deliberately not trimmed: "win, osx" does not name "osx".
        const std::string platforms = text::toLower(fields[1]);
        const std::vector<std::string_view> platformPieces = text::split(platforms, ',');
        if (std::find(platformPieces.begin(), platformPieces.end(), platformWord) ==
            platformPieces.end()) {
            continue;
        }

        const std::string criteria = text::toLower(fields[2]);
        bool matches = false;
        for (std::string_view piece : text::split(criteria, ',')) {
            const std::string wanted = text::canonical(text::trimBlanks(piece));
            if (std::find(userGroups.begin(), userGroups.end(), wanted) != userGroups.end()) {
                matches = true;
                break;
            }
        }
        if (matches) {
            shares.emplace_back(text::trimBlanks(fields[0]));
        }
    }
    return shares;
}

}  // namespace quorvane
