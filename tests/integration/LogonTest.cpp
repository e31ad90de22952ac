// The whole logon and logout through the command line, against the private domain's smbd
// with real FUSE mounts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "DomainFixture.h"
#include "MountTable.h"

namespace quorvane::testing {
namespace {

const std::string kFinished = "Logon workflow finished. Shares mapped under ~/smbmounts/";

class LogonTest : public DomainTest {
protected:
    ProgramRun logon(const TempHome& home, const std::string& user, const std::string& password) {
        return home.cli({"logon", "--server", domain().server(), "--user", user}, password);
    }
    ProgramRun logon(const TempHome& home, const std::string& user) {
        return logon(home, user, domain().user(user).password);
    }
    // Mounts of this test's server, wherever they are.
    std::vector<MountEntry> mountsOfThisServer() {
        std::vector<MountEntry> found;
        for (const MountEntry& entry : readMountTable().value_or(std::vector<MountEntry>{})) {
            if (entry.source.find("@" + domain().server() + "/") != std::string::npos) {
                found.push_back(entry);
            }
        }
        return found;
    }
};

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

TEST_F(LogonTest, CompleteLogonSecondLogonAndLogout) {
    TempHome home;
    const std::string root = home.mountRoot();
    const std::string server = domain().server();

    const ProgramRun first = logon(home, "alice");
    ASSERT_EQ(first.status(), 0) << first.out() << first.err();
    EXPECT_EQ(first.lastLine(), kFinished);
    EXPECT_NE(first.out().find("Detected Active User Groups: [\"staff\", \"science dept\", "
                               "\"year10\"]"),
              std::string::npos)
        << first.out();

    // Home and the five matching group shares; "netlogon" released; Admin (other group),
    // Library (other platforms) and Data (two fields) absent.
    const std::vector<std::string> expected = {"Media",        "Projects", "Science",
                                               "Staff Public", "Year10",   "alice"};
    EXPECT_EQ(home.mountRootEntries(), expected);
    EXPECT_EQ(home.mountsBelow().size(), expected.size());
    for (const std::string& name : expected) {
        EXPECT_TRUE(isMounted(root + "/" + name)) << name;
    }
    EXPECT_LT(daemonOf(root + "/netlogon"), 0);

    // Readable, with the mode the engine asks for.
    EXPECT_EQ(readFile(root + "/alice/readme.txt"), "Home of alice\n");
    EXPECT_EQ(readFile(root + "/Staff Public/welcome.txt"), "Welcome to Staff Public\n");
    EXPECT_EQ(modeOf(root + "/Science/welcome.txt"), 0777u);
    EXPECT_EQ(modeOf(root + "/Science"), 0777u);

    // Writable: new files reach the server, in the home share and in a group share.
    for (const std::string& share : {std::string("alice"), std::string("Staff Public")}) {
        SCOPED_TRACE(share);
        const std::string text = "written through the mount of " + share + "\n";
        ASSERT_TRUE(writeFile(root + "/" + share + "/from-client.txt", text));
        EXPECT_TRUE(eventually(
            [&] { return readFile(domain().serverPath(share) + "/from-client.txt") == text; }));
    }
    // Written in place, as an editor that keeps the file open does.
    ASSERT_TRUE(writeFile(domain().serverPath("Projects") + "/plan.txt", "0123456789\n"));
    ASSERT_EQ(::chmod((domain().serverPath("Projects") + "/plan.txt").c_str(), 0666), 0);
    EXPECT_TRUE(
        eventually([&] { return readFile(root + "/Projects/plan.txt") == "0123456789\n"; }));
    {
        const int fd = ::open((root + "/Projects/plan.txt").c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::pwrite(fd, "abc", 3, 4), 3);
        EXPECT_EQ(::close(fd), 0);
    }
    EXPECT_TRUE(eventually(
        [&] { return readFile(domain().serverPath("Projects") + "/plan.txt") == "0123abc789\n"; }));
    // A change made on the server shows through the mount.
    ASSERT_TRUE(writeFile(domain().serverPath("Year10") + "/notice.txt", "from the server\n"));
    EXPECT_TRUE(
        eventually([&] { return readFile(root + "/Year10/notice.txt") == "from the server\n"; }));

    // Status names every mount and where it comes from, without a password.
    const ProgramRun status = home.cli({"status"});
    EXPECT_EQ(status.status(), 0);
    for (const std::string& name : expected) {
        EXPECT_NE(status.out().find(name + "  "), std::string::npos) << status.out();
        EXPECT_NE(status.out().find("smb://alice@" + server + "/" + name), std::string::npos)
            << status.out();
    }

    // A second logon skips what is mounted and stacks nothing.
    const ProgramRun second = logon(home, "alice");
    EXPECT_EQ(second.status(), 0) << second.err();
    EXPECT_EQ(second.lastLine(), kFinished);
    for (const std::string& name : expected) {
        EXPECT_NE(second.out().find(name + " is already mounted. Skipping mount command."),
                  std::string::npos)
            << second.out();
    }
    EXPECT_EQ(home.mountsBelow().size(), expected.size());
    EXPECT_EQ(home.mountRootEntries(), expected);

    // Logout counts every entry and leaves an empty mount root behind.
    const ProgramRun logout = home.cli({"logout"});
    EXPECT_EQ(logout.status(), 0) << logout.err();
    EXPECT_EQ(logout.lastLine(), "Successfully disconnected 6 shares.");
    EXPECT_TRUE(home.mountsBelow().empty());
    EXPECT_TRUE(home.mountRootEntries().empty());
    struct stat info {};
    EXPECT_EQ(::stat(root.c_str(), &info), 0);
    for (const std::string& name : expected) {
        EXPECT_TRUE(waitForNoDaemon(root + "/" + name)) << name;
    }
    // The server kept everything, including what the client wrote.
    EXPECT_EQ(readFile(domain().serverPath("alice") + "/readme.txt"), "Home of alice\n");
    EXPECT_FALSE(readFile(domain().serverPath("Staff Public") + "/from-client.txt").empty());

    const ProgramRun again = home.cli({"logout"});
    EXPECT_EQ(again.status(), 0);
    EXPECT_EQ(again.lastLine(), "All shares are already disconnected.");
}

// As a Windows desk writes them: the server as "\\SERVER\share", the user with the domain.
// The server takes the domain; the shares, folders and messages know the user by name.
TEST_F(LogonTest, WrongPasswordStopsAtTheHomeShareAfterOneAttempt) {
    TempHome home;
    const int before = domain().failedLogons("alice");
    const ProgramRun run = logon(home, "alice", "not alice's password");
    EXPECT_EQ(run.status(), 1);
    EXPECT_EQ(run.lastLine(),
              "Failed to mount initial user home directory. Wrong user name or password.");
    EXPECT_NE(run.err().find("mount_smbfs: wrong user name or password for alice"),
              std::string::npos)
        << run.err();
    // Exactly one attempt reached the server: no retries that could lock an account.
    EXPECT_TRUE(eventually([&] { return domain().failedLogons("alice") == before + 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(domain().failedLogons("alice"), before + 1);
    EXPECT_TRUE(home.mountsBelow().empty());
    // The failed mount took its folder back: nothing is left to trip a later logon.
    EXPECT_TRUE(home.mountRootEntries().empty());
    EXPECT_LT(daemonOf(home.mountRoot() + "/alice"), 0);

    const ProgramRun logout = home.cli({"logout"});
    EXPECT_EQ(logout.lastLine(), "All shares are already disconnected.");
    EXPECT_EQ(logout.status(), 0);
}

TEST_F(LogonTest, LogoutReleasesMountsWhoseDaemonDiedOrHangs) {
    struct Case {
        const char* name;
        int signalNumber;
    };
    for (const Case& c : {Case{"killed", SIGKILL}, Case{"stopped", SIGSTOP}}) {
        SCOPED_TRACE(c.name);
        TempHome home;
        const std::string projects = home.mountRoot() + "/Projects";
        auto logOnAndBreakProjects = [&] {
            ASSERT_EQ(logon(home, "bob").status(), 0);
            const int daemon = daemonOf(projects);
            ASSERT_GT(daemon, 0);
            ASSERT_EQ(::kill(daemon, c.signalNumber), 0);
            if (c.signalNumber == SIGKILL) {
                ASSERT_TRUE(waitForNoDaemon(projects));
            }
        };
        logOnAndBreakProjects();
        // The next logon mounts it afresh and goes on with the rest.
        const ProgramRun again = logon(home, "bob");
        EXPECT_EQ(again.status(), 0) << again.out();
        EXPECT_NE(again.out().find("Projects is mounted but does not work"), std::string::npos);

        logOnAndBreakProjects();
        // Still counted as mounted: nothing will ever delete inside it.
        EXPECT_TRUE(isMounted(projects));
        const ProgramRun status = home.cli({"status"});
        EXPECT_NE(status.out().find("smb://bob@" + domain().server() + "/Projects"),
                  std::string::npos)
            << status.out();
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun logout = home.cli({"logout"});
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        std::cout << "[ figures  ] logout of 4 shares, one daemon " << c.name << ": "
                  << took.count() << " ms" << std::endl;
        EXPECT_EQ(logout.result.outcome, ProcessResult::Outcome::Exited);
        EXPECT_EQ(logout.lastLine(), "Successfully disconnected 4 shares.");
        EXPECT_TRUE(waitForNoDaemon(projects));  // a stopped one is ended, not left for ever
        EXPECT_TRUE(home.mountsBelow().empty());
        EXPECT_TRUE(home.mountRootEntries().empty());
        EXPECT_EQ(readFile(domain().serverPath("Projects") + "/welcome.txt"),
                  "Welcome to Projects\n");
    }
}

TEST(InstalledLayout, FindsTheToolsRelativeToItsOwnExecutable) {
    namespace fs = std::filesystem;
    TempHome home;
    const std::string cli = buildFolder() + "/bin/quorvane-cli";
    const fs::path prefix = home.path() + "/prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "libexec/quorvane");
    fs::copy_file(cli, prefix / "bin/quorvane-cli");
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

    const std::string withPanel = buildFolder() + "/bin/quorvane";
    if (::access(withPanel.c_str(), X_OK) == 0) {
        EXPECT_EQ(runProgram(withPanel, {"--help"}).out(), runProgram(cli, {"--help"}).out());
    }
}

}  // namespace
}  // namespace quorvane::testing
