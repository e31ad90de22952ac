// The program as the desktop's autostart entry starts it, with "Log on automatically" on: in a
// desktop of its own (Xvfb, trayer, dunst), with the real Secret Service and the test domain.
#include <gtest/gtest.h>

#include <filesystem>

#include "DomainFixture.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

class AutostartDesk : public DomainTest {
protected:
    std::map<std::string, std::string> startAtLogin(const std::string& screenshot) {
        const ProgramRun run =
            runProgram(sourceFolder() + "/tests/support/with-secret-service.sh",
                       {sourceFolder() + "/tests/app/autostart-desk.sh",
                        buildFolder() + "/bin/quorvane", screenshot},
                       home_.environment(), std::nullopt, std::chrono::seconds(150));
        EXPECT_EQ(run.status(), 0) << run.out() << run.err();
        return keyValues(run.out());
    }

    TempHome home_;
};

TEST_F(AutostartDesk, AKeptPasswordLogsOnWithoutInputAndWithoutOneThePanelAsks) {
    SKIP_IF_MISSING(whyNoDesktop());
    // The password kept as a user keeps it: a logon that remembers it. Its shares go as at
    // the end of a session; the kept password stays.
    const DemoUser& alice = domain().user("alice");
    const ProgramRun keep = home_.desk(
        {"logon", "--server", domain().server(), "--user", "alice", "--remember-password"},
        alice.password + "\n");
    ASSERT_EQ(keep.status(), 0) << keep.out() << keep.err();
    ASSERT_TRUE(home_.keptSecret());
    ASSERT_TRUE(home_.releaseAll());
    fs::remove_all(home_.mountRoot());
    fs::create_directories(home_.path() + "/.config/Quorvane");
    ASSERT_TRUE(writeFile(home_.path() + "/.config/Quorvane/Quorvane.conf",
                          "[General]\nhasLaunchedBefore=true\nlogOnAutomatically=true\n"
                          "savedServerAddress=" +
                              domain().server() + "\nsavedUserName=alice\n"));

    std::map<std::string, std::string> seen = startAtLogin("/tmp/quorvane-autostart-kept.png");
    EXPECT_EQ(seen["MOUNTS"], "6");
    EXPECT_EQ(seen["NOTICE"], "Logged on");
    EXPECT_EQ(seen["PANEL"], "hidden");
    EXPECT_TRUE(home_.mountsBelow().empty()) << "the end of the session logs out";
    EXPECT_TRUE(home_.keptSecret()) << "and keeps the password for the next login";

    // Nothing to log on with: the panel asks, and nothing is mounted.
    ASSERT_EQ(home_.desk({"logout"}).status(), 0);  // forgets the kept password
    ASSERT_FALSE(home_.keptSecret());
    seen = startAtLogin("/tmp/quorvane-autostart-none.png");
    EXPECT_EQ(seen["MOUNTS"], "0");
    EXPECT_EQ(seen["NOTICE"], "");
    EXPECT_EQ(seen["PANEL"], "shown");
}

}  // namespace
}  // namespace quorvane::testing
