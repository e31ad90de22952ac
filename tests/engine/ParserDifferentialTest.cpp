// The engine's parsers take ASCII short cuts; these tests hold them against the reference
// readings, which send every text through ICU. Random share maps and logon scripts are the
// fuzzers' (fuzz/), which check every input against the same references.
#include <gtest/gtest.h>

#include <random>

#include "LogonScript.h"
#include "ReferenceParsers.h"
#include "ShareMap.h"
#include "UnicodeText.h"

namespace quorvane {
namespace {

using Groups = std::vector<std::string>;

// Pieces that meet the short cuts' edges: separators, both blank and line-break classes, and
// letters whose lower case or composed form is not what a byte-wise reading would give.
const char* const kPieces[] = {
    "osx",
    "OSX",
    "Osx",
    "linux",
    "win",
    "staff",
    "STAFF",
    "science",
    "Sci",
    "a",
    "B",
    "",
    ":",
    ":",
    ",",
    ",",
    "#",
    " ",
    "  ",
    "\t",
    "\r",
    "\n",
    "\r\n",
    "\x0B",
    "\x0C",
    "\xC2\x85",          // U+0085 next line
    "\xE2\x80\xA8",      // U+2028 line separator
    "\xE2\x80\xA9",      // U+2029 paragraph separator
    "\xC2\xA0",          // U+00A0 no-break space (Zs)
    "\xE2\x80\x83",      // U+2003 em space (Zs)
    "\xE3\x80\x80",      // U+3000 ideographic space (Zs)
    "\xE2\x80\x8B",      // U+200B zero-width space (Cf, no blank)
    "\xE2\x84\xAA",      // U+212A Kelvin sign: lower-cases to ASCII "k"
    "k",                 //
    "\xC4\xB0",          // U+0130 capital I with dot: lower-cases to "i" + U+0307
    "i\xCC\x87",         // i + combining dot above
    "\xCE\xA3",          // capital sigma: final or not depends on the neighbours
    "\xCE\x91",          // capital alpha
    "\xC3\xA9",          // precomposed e acute
    "e\xCC\x81",         // e + combining acute
    "\xC3\x89",          // precomposed capital E acute
    "\xC3\x9F",          // sharp s
    "\xEF\xAC\x81",      // fi ligature
    "\xF0\x9F\x98\x80",  // an emoji outside the BMP
    "set GROUPS=",
    "set GROUPS",
    "set groups=",
    "=",
};

std::string randomText(std::mt19937& random, int pieces) {
    std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
    std::string text;
    for (int i = 0; i < pieces; ++i) {
        text += kPieces[pick(random)];
    }
    return text;
}

void expectSameShares(std::string_view map, const Groups& groups) {
    for (const char* platform : {"osx", "linux"}) {
        EXPECT_EQ(matchingShareNames(map, groups, platform),
                  reference::shareNames(map, groups, platform))
            << "map: " << map << "\nplatform: " << platform;
    }
}

TEST(ParserDifferential, TrickyShareMapsMatchTheReference) {
    const Groups user = {"staff", "science", "k", "\xCF\x83", "caf\xC3\xA9", ""};
    const char* const maps[] = {
        "A:osx:staff",
        "A:\xE2\x84\xAA:staff",                      // Kelvin sign is no "k" platform
        "A:os\xE2\x84\xAA:staff",                    // ... and no "osk" either
        "A:osx:\xE2\x84\xAA",                        // Kelvin sign lower-cases to group "k"
        "A:osx:\xCE\xA3",                            // a lone capital sigma is not final
        "A:osx:\xCE\x91\xCE\xA3, \xCE\xA3\xCE\x91",  // final sigma at a piece's end
        "A:osx:CAFE\xCC\x81",                        // decomposed, upper case
        "A:osx:\xC3\x89, caf\xC3\x89",
        "\xC2\xA0 Share\xE2\x80\x83:OSX:\tstaff\xC2\xA0",
        "A:osx:staff\xC2\x85"
        "B:osx:science\xE2\x80\xA8"
        "C:osx:\xE2\x80\xA9",
        "A:osx: ,",
        "A:osx,:",
        "::",
        ":osx:",
        "#:osx:staff\n \t# x:osx:staff\n\xC2\xA0#y:osx:staff",
        "A:OSX\xE2\x80\x8B:staff",
        "\xE2\x80\x8B:osx:staff",
    };
    for (const char* map : maps) {
        expectSameShares(map, user);
    }
}

TEST(ParserDifferential, TextHelpersAgreeWithTheirUnicodePaths) {
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        const std::string piece = randomText(random, 3);
        EXPECT_EQ(text::toLower(piece), text::toLowerUnicode(piece)) << piece;
        EXPECT_EQ(text::canonical(piece), text::canonicalUnicode(piece)) << piece;
    }
    // Well-formedness: truncated, overlong, surrogate and out-of-range sequences.
    const char* const bytes[] = {
        "abc",          "\xC3\xA9",         "\xC3",         "\xC0\xAF", "\xE0\x80\xAF",
        "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF0\x9F\x98", "\xFF",     "a\xF0\x9F\x98\x80z",
        "\x80",         "\xEF\xBB\xBF"};
    for (const char* b : bytes) {
        EXPECT_EQ(text::isValidUtf8(b), reference::isValidUtf8(b)) << b;
    }
}

}  // namespace
}  // namespace quorvane
