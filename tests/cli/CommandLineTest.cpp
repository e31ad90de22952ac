// The command line as a user meets it: usage, exit statuses, and where it finds the tools.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CommandLine.h"
#include "TestDomain.h"

namespace quorvane::testing {
namespace {

std::string cli() {
    return buildFolder() + "/bin/quorvane-cli";
}

TEST(CommandLine, BadUsageExitsWithTwoAndSaysWhy) {
    ScratchHome home;
    struct Case {
        std::vector<std::string> arguments;
        std::optional<std::string> input;
        const char* errorPart;
    };
    const Case cases[] = {
        {{}, std::nullopt, "usage: quorvane"},
        {{"mount"}, std::nullopt, "unknown command \"mount\""},
        {{"logon", "--user", "alice"}, "pw", "--server SERVER is missing"},
        {{"logon", "--server", "fs1"}, "pw", "--user NAME is missing"},
        {{"logon", "--server", "fs1", "--user"}, "pw", "--user needs a value"},
        {{"logon", "--server=fs1", "--user=alice", "--password=pw"},
         "pw",
         "read from standard input, never from the command line"},
        {{"logon", "--server", "fs1", "--user", "alice", "extra"}, "pw", "unknown argument"},
        {{"logon", "--server", "fs1", "--user", "alice"},
         std::nullopt,
         "no password on standard input"},
        {{"logout", "now"}, std::nullopt, "takes no arguments"},
        {{"status", "-v"}, std::nullopt, "takes no arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ProgramRun run = runProgram(cli(), c.arguments, home.environment(), c.input);
        EXPECT_EQ(run.status(), 2);
        EXPECT_NE(run.err().find(c.errorPart), std::string::npos) << run.err();
        EXPECT_EQ(run.out(), "");
    }
    // Nothing was created by a refused command.
    struct stat info {};
    EXPECT_NE(::stat(home.mountRoot().c_str(), &info), 0);
}

TEST(CommandLine, HelpExplainsAllThreeCommands) {
    const ProgramRun run = runProgram(cli(), {"--help"}, {}, std::nullopt);
    EXPECT_EQ(run.status(), 0);
    for (const char* part : {"logon --server SERVER --user NAME", "logout", "status",
                             "standard input", "Exit status"}) {
        EXPECT_NE(run.out().find(part), std::string::npos) << part;
    }
    // The program with the panel hands its arguments to the same command line.
    const std::string withPanel = buildFolder() + "/bin/quorvane";
    if (::access(withPanel.c_str(), X_OK) == 0) {
        const ProgramRun panelBuild = runProgram(withPanel, {"--help"}, {}, std::nullopt);
        EXPECT_EQ(panelBuild.status(), 0);
        EXPECT_EQ(panelBuild.out(), run.out());
    }
}

TEST(CommandLine, LogoutAndStatusWithoutAMountRoot) {
    ScratchHome home;
    const ProgramRun logout = runProgram(cli(), {"logout"}, home.environment(), std::nullopt);
    // Nothing to release is no failure.
    EXPECT_EQ(logout.status(), 0);
    EXPECT_EQ(logout.lastLine(), "No shares mapped (smbmounts folder not found).");
    const ProgramRun status = runProgram(cli(), {"status"}, home.environment(), std::nullopt);
    EXPECT_EQ(status.status(), 0);
    EXPECT_EQ(status.out(), "No shares mapped (smbmounts folder not found).\n");
    struct stat info {};
    EXPECT_NE(::stat(home.mountRoot().c_str(), &info), 0);

    // A leftover folder shows as such, and the next logout takes it away.
    ASSERT_EQ(::mkdir(home.mountRoot().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((home.mountRoot() + "/Science").c_str(), 0755), 0);
    EXPECT_EQ(describeMountRoot(home.mountRoot()),
              (std::vector<std::string>{home.mountRoot() + ": 0 share(s) mounted",
                                        "  Science  (not mounted)"}));
    const ProgramRun cleanup = runProgram(cli(), {"logout"}, home.environment(), std::nullopt);
    EXPECT_EQ(cleanup.status(), 0);
    EXPECT_EQ(cleanup.lastLine(), "Successfully disconnected 1 drive(s).");
}

// The program looks for its tools beside itself: bin/ and libexec/quorvane/, in the build
// tree and in an installed copy alike.
TEST(CommandLine, FindsTheToolsRelativeToItsOwnExecutable) {
    namespace fs = std::filesystem;
    ScratchHome home;
    const fs::path prefix = home.path() + "/prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "libexec/quorvane");
    fs::copy_file(cli(), prefix / "bin/quorvane-cli");
    // Nothing listens on port 1 of loopback, so the mount tool must say so.
    const std::vector<std::string> arguments = {"logon", "--server", "127.0.0.1:1", "--user",
                                                "alice"};

    const ProgramRun withoutTools = runProgram((prefix / "bin/quorvane-cli").string(), arguments,
                                               home.environment(), std::string("pw"));
    EXPECT_EQ(withoutTools.status(), 1);
    EXPECT_EQ(withoutTools.lastLine().rfind("Failed to mount initial user home directory. The "
                                            "mount tool could not be started (",
                                            0),
              0u)
        << withoutTools.lastLine();
    EXPECT_EQ(withoutTools.err().find("mount_smbfs:"), std::string::npos);

    for (const char* tool : {"mount_smbfs", "umount"}) {
        fs::copy_file(toolsFolder() + "/" + tool, prefix / "libexec/quorvane" / tool);
    }
    const ProgramRun withTools = runProgram((prefix / "bin/quorvane-cli").string(), arguments,
                                            home.environment(), std::string("pw"));
    EXPECT_EQ(withTools.status(), 1);
    EXPECT_EQ(withTools.lastLine().rfind("Failed to mount initial user home directory. ", 0), 0u)
        << withTools.lastLine();
    EXPECT_NE(withTools.err().find("mount_smbfs: cannot reach the server 127.0.0.1:1"),
              std::string::npos)
        << withTools.err();
}

}  // namespace
}  // namespace quorvane::testing
