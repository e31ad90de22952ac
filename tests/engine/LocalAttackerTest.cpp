// A second local user ("nobody") attacks the mount root of a user who logs on and off (this
// process): each attack ends in a refusal that names the cause, or is undone by the logon.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "FileServices.h"
#include "SMBManager.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

TEST(LocalAttacker, NeverHoldsUpReadsOrTakesOverTheMountRoot) {
    if (const std::string why = testing::SecondUser::whyNot(); !why.empty()) {
        if (testing::underCi()) {
            FAIL() << why;
        }
        GTEST_SKIP() << why;
    }
    const fs::perms open = fs::perms::all;
    const fs::perms readable = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
    struct Case {
        const char* attack;
        fs::perms home;
        bool openRootLeftBefore;  // by an older version
        mode_t umask;
        std::vector<std::string> before;  // what the attacker runs first; "R" is the mount root
    };
    const Case cases[] = {
        {"makes the mount root first", open, false, 022, {"/bin/mkdir", "R"}},
        {"makes the user's folder first", readable, true, 022, {"/bin/mkdir", "R/alice"}},
        {"holds the lock",
         readable,
         true,
         022,
         {"/usr/bin/flock", "R/.quorvane-lock", "sleep", "99"}},
        {"lists the share names, umask 022", readable, false, 022, {}},
        {"lists the share names, umask 000", readable, false, 000, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attack);
        testing::SecondUser attacker;
        testing::TempHome home;
        testing::StandInTools tools;
        tools.addServerFile("alice", "mac.bat", "set GROUPS=staff\n");
        tools.addServerFile("netlogon", "shares.ini", "Science:osx:staff\n");
        const std::string root = home.mountRoot();
        fs::permissions(home.path(), c.home);
        if (c.openRootLeftBefore) {
            fs::create_directory(root);
            fs::permissions(root, open);
        }
        std::vector<std::string> command = c.before;
        for (std::string& word : command) {
            word = word[0] == 'R' ? root + word.substr(1) : word;
        }
        if (command.size() > 2) {
            attacker.start(command);  // until the lock is theirs
            ASSERT_TRUE(testing::eventually([&] {
                return fs::exists(command[1]) &&
                       testing::runProgram("/usr/bin/flock", {"-n", command[1], "true"}).status() ==
                           1;
            }));
        } else if (!command.empty()) {
            ASSERT_EQ(attacker.run(command).status(), 0);
        }
        const mode_t umaskBefore = ::umask(c.umask);
        std::ostringstream printed;
        EngineConfig config = tools.configFor(home);
        config.diagnostics = &printed;
        const WorkflowResult logon = SMBManager(config).logon("FS1", "alice", "pw");
        ::umask(umaskBefore);
        std::vector<std::string> theirs;
        for (const auto& entry : fs::directory_iterator(root)) {
            if (files::belongsToAnotherUser(entry.path())) {
                theirs.push_back(entry.path().filename());
            }
        }
        const WorkflowResult logout = SMBManager(config).logout();
        if (files::belongsToAnotherUser(root)) {
            EXPECT_EQ(logon.message, "Failed to create base ~/smbmounts folder: " + root +
                                         " belongs to another user");
            EXPECT_EQ(logout.message,
                      "Error while disconnecting: " + root + " belongs to another user");
            EXPECT_TRUE(tools.calls().empty());
            continue;
        }
        EXPECT_EQ(logon.outcome, Outcome::Succeeded) << logon.message;
        EXPECT_EQ(logout.outcome, Outcome::Succeeded) << logout.message;
        EXPECT_EQ(theirs, std::vector<std::string>{});  // the user's folder and lock included
        EXPECT_EQ(fs::status(root).permissions(), fs::perms::owner_all);
        EXPECT_NE(attacker.run({"/bin/ls", root}).status(), 0);
    }
}

}  // namespace
}  // namespace quorvane
