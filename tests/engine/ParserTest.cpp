#include <gtest/gtest.h>
#include <unistd.h>

#include "FileServices.h"
#include "LogonScript.h"
#include "SMBManager.h"
#include "ShareMap.h"
#include "TestSupport.h"
#include "UnicodeText.h"

namespace quorvane {
namespace {

using Groups = std::vector<std::string>;

struct GroupLineCase {
    const char* script;
    std::optional<Groups> groups;
};

TEST(LogonScript, ReadsTheFirstGroupLine) {
    const GroupLineCase cases[] = {
        {"set GROUPS=", Groups{""}},
        {"set GROUPS=staff:", Groups{"staff", ""}},
        {"set GROUPS=staff::science", Groups{"staff", "", "science"}},
        {"set GROUPS=Staff,Science", Groups{"staff,science"}},
        {"set GROUPS= Staff : Year10", Groups{"staff", "year10"}},
        {"set GROUPS=a:set GROUPS=b", Groups{"a", "b"}},
        {"  \tset GROUPS=Staff \xC2\xA0", Groups{"staff"}},
        {"echo off\r\nnet use H: /home\r\nSET GROUPS=Admins\r\n"
         "set GROUPS=Staff: Science Dept :YEAR10\r\nset GROUPS=Other\r\n",
         Groups{"staff", "science dept", "year10"}},
        {"echo off\xE2\x80\xA8set GROUPS=A\xC2\x85", Groups{"a"}},
        {"set GROUPS=\xC3\x84RGER:\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91",
         Groups{"\xC3\xA4rger", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"}},
        {"set groups=staff", std::nullopt},
        {"Set GROUPS=staff", std::nullopt},
        {"set GROUPS =staff", std::nullopt},
        {"rem set GROUPS=staff", std::nullopt},
        {"set  GROUPS=staff", std::nullopt},
        {"", std::nullopt},
        {"echo off\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseGroupLine(c.script), c.groups) << c.script;
    }
}

TEST(LogonScript, GroupListLineStaysOneLine) {
    const std::pair<Groups, const char*> cases[] = {
        {{"staff", "science dept"}, R"(["staff", "science dept"])"},
        {{""}, R"([""])"},
        {{"a\"b", "c\\d", "e\tf", "g\x01h"}, R"(["a\"b", "c\\d", "e\tf", "g\u{1}h"])"},
        {{"caf\xC3\xA9"}, "[\"caf\xC3\xA9\"]"},
        {{"\x1B[2J\xC2\x9B"
          "1m"},
         R"(["\u{1B}[2J\u{9B}1m"])"},  // C0 and C1 controls
        {{"evil\xE2\x80\xAEtxt.exe", "a\xE2\x81\xA6" "b",
          "raw\x9B"
          "2J"},
         R"(["evil\u{202E}txt.exe", "a\u{2066}b", "raw\u{9B}2J"])"},  // bidi marks, stray bytes
    };
    for (const auto& [groups, line] : cases) {
        EXPECT_EQ(formatGroupList(groups), line);
    }
}

struct ShareMapCase {
    const char* line;
    Groups groups;
    std::vector<std::string> shares;
};

TEST(ShareMap, MountsLinesForThisPlatformAndOneOfTheGroups) {
    const Groups user = {"staff", "science"};
    const ShareMapCase cases[] = {
        {"# Shares of the science block", user, {}},
        {"", user, {}},
        {"Science:osx,win:Science, Year10", user, {"Science"}},
        {"Staff Public :OSX: STAFF", user, {"Staff Public"}},
        {"Admin:osx:admins", user, {}},
        {"Library:win:staff", user, {}},
        {"Media:win, osx:staff", user, {}},
        {"Media:win,osx :staff", user, {}},
        {"Data:osx", user, {}},
        {"Data:osx:staff:extra", user, {"Data"}},
        {"Mixed:Osx:Staff , SCIENCE", {"science"}, {"Mixed"}},
        {"  Staff Public :osx:staff", user, {"Staff Public"}},
        {"Public:osx:", {"staff", ""}, {"Public"}},
        {"Public:osx:", user, {}},
        {"  # indented comment:osx:staff", user, {}},
        {"Hash#Share:osx:staff", user, {"Hash#Share"}},
        {"A:osx:staff\r\nB:osx:staff\r\nA:osx:science", user, {"A", "B", "A"}},
        // A precomposed letter matches the same letter written with a combining mark.
        {"Caf\xC3\xA9:osx:caf\xC3\xA9", {"cafe\xCC\x81"}, {"Caf\xC3\xA9"}},
        {"Upper:osx:\xC3\x89QUIPE", {"\xC3\xA9quipe"}, {"Upper"}},
        {"Sep:osx:staff\xE2\x80\xA9Next:osx:staff", user, {"Sep", "Next"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchingShareNames(c.line, c.groups, "osx"), c.shares) << c.line;
    }
    EXPECT_EQ(matchingShareNames("L:linux,osx:staff\nM:osx:staff", user, "linux"), Groups{"L"});
}

TEST(ServerFiles, ReadFromDiskWithTheirQuirks) {
    testing::TempHome home;
    EngineConfig config;
    config.homeFolder = home.path();
    config.mountTool = config.unmountTool = "/bin/false";
    config.platformWord = "osx";
    SMBManager manager(config);
    const std::string script = home.path() + "/mac.bat";
    const std::pair<std::string, std::optional<Groups>> cases[] = {
        {"\xEF\xBB\xBFset GROUPS=Staff\r\n", Groups{"staff"}},  // byte-order mark dropped
        {"set GROUPS=Staff\n", Groups{"staff"}},
        {"set GROUPS=St\xFF"
         "aff\n",
         std::nullopt},  // not UTF-8
        {"", std::nullopt},
    };
    for (const auto& [contents, groups] : cases) {
        testing::writeFile(script, contents);
        EXPECT_EQ(manager.parseLogonScriptGroups(script), groups) << contents;
    }
    EXPECT_FALSE(manager.parseLogonScriptGroups(home.path() + "/missing.bat"));
}

TEST(ServerFiles, LargerThanTheLimitIsUnreadableWithItsCause) {
    testing::TempHome home;
    const std::string path = home.path() + "/shares.ini";
    testing::writeFile(path, std::string(1000, 'x'));
    EXPECT_EQ(files::readFileUpTo(path, 1000).bytes, std::string(1000, 'x'));
    const files::FileContents over = files::readFileUpTo(path, 999);
    EXPECT_FALSE(over.bytes);
    EXPECT_EQ(over.error, path + ": larger than the limit of 999 bytes");
    EXPECT_EQ(files::readFileUpTo(home.path() + "/missing", 10).error,
              home.path() + "/missing: No such file or directory");

    // A sparse file that claims a gibibyte takes no memory: it is refused unread.
    const std::string script = home.path() + "/mac.bat";
    testing::writeFile(script, "set GROUPS=staff\n");
    ASSERT_EQ(::truncate(script.c_str(), 1LL << 30), 0);
    EXPECT_NE(files::readFileUpTo(script, 4 << 20).error.find("larger than"), std::string::npos);
    EngineConfig config;
    config.homeFolder = home.path();
    config.mountTool = config.unmountTool = "/bin/false";
    config.platformWord = "osx";
    EXPECT_FALSE(SMBManager(config).parseLogonScriptGroups(script));
}

TEST(UnicodeText, TrimsBlanksAndCutsAtEveryLineBreak) {
    EXPECT_EQ(text::trimBlanks("\t\xE2\x80\x83x y\xC2\xA0 "), "x y");  // em space, no-break space
    EXPECT_EQ(text::trimBlanks("\nx\n"), "\nx\n");                     // line breaks are not blanks
    EXPECT_EQ(text::trimBlanksAndLineBreaks("\r\n\x0B x \x0C"), "x");
    EXPECT_EQ(text::trimBlanks("\xE2\x80\x8Bx"), "\xE2\x80\x8Bx");  // zero-width space is Cf
    const auto lines = text::splitLines(
        "a\r\nb\xC2\x85"
        "c\xE2\x80\xA8"
        "d");
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a", "", "b", "c", "d"}));
    EXPECT_EQ(text::toLower("\xC4\xB0STANBUL"), "i\xCC\x87stanbul");  // no Turkish rules
}

}  // namespace
}  // namespace quorvane
