// A second local user attacks the mount root of a user who logs on and off: the user is this
// process, the attacker "nobody". Each attack ends in a refusal that names the cause or in a
// mount root repaired to the user's alone.
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "FileServices.h"
#include "OtherUser.h"
#include "SMBManager.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

TEST(LocalAttacker, NeverHoldsUpReadsOrTakesOverTheMountRoot) {
    testing::OtherUser attacker;
    if (!attacker.whyNot().empty()) {
        if (testing::underCi()) {
            FAIL() << "CI runs as root: " << attacker.whyNot();
        }
        GTEST_SKIP() << attacker.whyNot();
    }
    using Attack = std::function<void(testing::OtherUser&, const std::string& root)>;
    const auto run = [](const std::vector<std::string>& command) {
        return [command](testing::OtherUser& user, const std::string& root) {
            std::vector<std::string> words;
            for (const std::string& word : command) {
                words.push_back(word.rfind("ROOT", 0) == 0 ? root + word.substr(4) : word);
            }
            EXPECT_EQ(user.run(words).status(), 0) << words.back();
        };
    };
    struct Case {
        const char* attack;
        fs::perms home;                 // what the victim's home lets others do
        std::optional<fs::perms> root;  // a mount root left by an older version
        mode_t umask;
        Attack before;        // what the attacker does before the logon
        const char* refusal;  // the logon's message, or nullptr: it succeeds
    };
    const fs::perms open = fs::perms::all;
    const fs::perms readable = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
    const Case cases[] = {
        {"makes the mount root first", open, std::nullopt, 022, run({"/bin/mkdir", "ROOT"}),
         "Failed to create base ~/smbmounts folder: ROOT belongs to another user"},
        {"makes the user's folder first", readable, open, 022, run({"/bin/mkdir", "ROOT/alice"}),
         nullptr},
        {"holds the lock", readable, open, 022,
         [](testing::OtherUser& user, const std::string& root) {
             const std::string lock = root + "/.quorvane-lock";
             user.start({"/usr/bin/flock", lock, "/bin/sleep", "100"});
             ASSERT_TRUE(testing::eventually([&] {
                 return fs::exists(lock) &&
                        testing::runProgram("/usr/bin/flock", {"-n", lock, "/bin/true"}).status() ==
                            1;
             }));
         },
         nullptr},
        {"lists the share names, umask 022", readable, std::nullopt, 022, nullptr, nullptr},
        {"lists the share names, umask 000", readable, std::nullopt, 000, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attack);
        testing::TempHome home;
        testing::StandInTools tools;
        tools.addServerFile("alice", "mac.bat", "set GROUPS=staff\n");
        tools.addServerFile("netlogon", "shares.ini", "Science:osx:staff\n");
        const std::string root = home.mountRoot();
        fs::permissions(home.path(), c.home);
        if (c.root) {
            fs::create_directory(root);
            fs::permissions(root, *c.root);
        }
        if (c.before) {
            c.before(attacker, root);
        }
        const mode_t umaskBefore = ::umask(c.umask);
        std::ostringstream printed;
        EngineConfig config = tools.configFor(home);
        config.diagnostics = &printed;
        const WorkflowResult logon = SMBManager(config).logon("FS1", "alice", "pw");
        ::umask(umaskBefore);
        std::vector<std::string> foreign;
        std::error_code noRoot;
        for (const fs::directory_entry& entry : fs::directory_iterator(root, noRoot)) {
            if (files::belongsToAnotherUser(entry.path())) {
                foreign.push_back(entry.path().filename());
            }
        }
        const WorkflowResult logout = SMBManager(config).logout();
        if (c.refusal != nullptr) {
            std::string refusal = c.refusal;
            refusal.replace(refusal.find("ROOT"), 4, root);
            EXPECT_EQ(logon.outcome, Outcome::Failed);
            EXPECT_EQ(logon.message, refusal);
            EXPECT_TRUE(tools.calls().empty());
            // Nor does a logout take anything from it.
            EXPECT_EQ(logout.message,
                      "Error while disconnecting: " + root + " belongs to another user");
            continue;
        }
        EXPECT_EQ(logon.outcome, Outcome::Succeeded) << logon.message;
        EXPECT_EQ(logon.mountedShares.size(), 2u);
        // The user's folder and the lock now belong to the user.
        EXPECT_EQ(foreign, std::vector<std::string>{});
        EXPECT_EQ(logout.outcome, Outcome::Succeeded) << logout.message;
        EXPECT_EQ(fs::status(root).permissions(), fs::perms::owner_all);
        EXPECT_NE(attacker.run({"/bin/ls", root}).status(), 0);
    }
}

}  // namespace
}  // namespace quorvane
