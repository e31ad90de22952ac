#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "SMBManager.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;
using Lines = std::vector<std::string>;
using Call = std::vector<std::string>;

constexpr const char* kPassword = "p@ss:w/rd %\xC3\xA9";
constexpr const char* kEncodedPassword = "p%40ss%3Aw%2Frd%20%25%C3%A9";

// The stand-ins keep a mount table of their own, which anyone may run. The cases that hinge on
// telling a mount from a folder run again with real tmpfs mounts in the system's table, which
// takes root.
class Workflow : public ::testing::TestWithParam<testing::MountMode> {
protected:
    void SetUp() override {
        if (GetParam() == testing::MountMode::RealTmpfs && !testing::canMount()) {
            if (testing::underCi()) {
                FAIL() << "CI runs as root and must be able to mount";
            }
            GTEST_SKIP() << "needs root to let the stand-ins mount tmpfs";
        }
        tools_.addServerFile("alice", "mac.bat", "@echo off\r\nset GROUPS=Staff: Science\r\n");
        tools_.addServerFile("alice", "notes.txt", "home data");
        // Saved by a Windows editor: a byte-order mark before the first share line.
        tools_.addServerFile("netlogon", "shares.ini",
                             "\xEF\xBB\xBFScience:osx,win:science\n"
                             "# group shares\n"
                             "Admin:osx:admins\n"
                             "Staff Public :OSX: STAFF\n"
                             "Library:win:staff\n");
        tools_.addServerFile("Science", "lab.txt", "lab data");
    }

    SMBManager manager(bool passwordOnStandardInput = false) const {
        return SMBManager(tools_.configFor(home_, passwordOnStandardInput));
    }

    // Runs `work` with standard output captured, and returns the printed lines.
    template <typename Work>
    Lines printed(Work work) {
        ::testing::internal::CaptureStdout();
        work();
        return testing::splitLines(::testing::internal::GetCapturedStdout());
    }

    std::string root() const { return home_.mountRoot(); }
    Call mountCall(const std::string& share) const {
        return {"mount_smbfs", "-f", "777",
                std::string("smb://alice:") + kEncodedPassword + "@FS1/" + share,
                root() + "/" + share};
    }
    Call unmountCall(const std::string& name) const { return {"umount", root() + "/" + name}; }

    testing::TempHome home_;
    testing::StandInTools tools_{GetParam()};
};

class WorkflowOnRealMounts : public Workflow {};

INSTANTIATE_TEST_SUITE_P(MountModes, Workflow, ::testing::Values(testing::MountMode::Recorded),
                         ::testing::PrintToStringParamName());
INSTANTIATE_TEST_SUITE_P(MountModes, WorkflowOnRealMounts,
                         ::testing::Values(testing::MountMode::Recorded,
                                           testing::MountMode::RealTmpfs),
                         ::testing::PrintToStringParamName());

TEST_P(Workflow, CompleteLogonMountsHomeAndMatchingGroupSharesAndReleasesNetlogon) {
    std::string message;
    const Lines lines =
        printed([&] { message = manager().performLogon("SMB://FS1/USERS", "alice", kPassword); });

    EXPECT_EQ(message, "Logon workflow finished. Shares mapped under ~/smbmounts/");
    EXPECT_EQ(lines, (Lines{
                         "Mounting user home directory target destination to: " + root() + "/alice",
                         R"(Detected Active User Groups: ["staff", "science"])",
                         "User matches group criteria for Science. Mounting...",
                         "User matches group criteria for Staff Public. Mounting...",
                     }));
    EXPECT_EQ(tools_.calls(),
              (std::vector<Call>{mountCall("alice"), mountCall("netlogon"), mountCall("Science"),
                                 mountCall("Staff Public"), unmountCall("netlogon")}));
    EXPECT_EQ(tools_.mountsBelow(root()),
              (Lines{root() + "/alice", root() + "/Science", root() + "/Staff Public"}));
    EXPECT_FALSE(fs::exists(root() + "/netlogon"));
    EXPECT_EQ(readFile(root() + "/Science/lab.txt"), "lab data");
}

TEST_P(WorkflowOnRealMounts, SecondLogonSkipsWhatIsMounted) {
    manager().performLogon("FS1", "alice", kPassword);
    const size_t callsBefore = tools_.calls().size();
    std::string message;
    // The server takes ALICE for alice: one account, one home mount.
    const Lines lines =
        printed([&] { message = manager().performLogon("FS1", "ALICE", kPassword); });

    EXPECT_EQ(message, "Logon workflow finished. Shares mapped under ~/smbmounts/");
    EXPECT_EQ(lines, (Lines{
                         "Mounting user home directory target destination to: " + root() + "/alice",
                         "ALICE is already mounted. Skipping mount command.",
                         R"(Detected Active User Groups: ["staff", "science"])",
                         "User matches group criteria for Science. Mounting...",
                         "Science is already mounted. Skipping mount command.",
                         "User matches group criteria for Staff Public. Mounting...",
                         "Staff Public is already mounted. Skipping mount command.",
                     }));
    const auto calls = tools_.calls();
    EXPECT_EQ(std::vector<Call>(calls.begin() + static_cast<long>(callsBefore), calls.end()),
              (std::vector<Call>{{"mount_smbfs", "-f", "777",
                                  std::string("smb://ALICE:") + kEncodedPassword + "@FS1/netlogon",
                                  root() + "/netlogon"},
                                 unmountCall("netlogon")}));
}

TEST_P(Workflow, EachFailureEndsTheLogonWithItsOwnMessage) {
    struct Case {
        const char* name;
        std::function<void(testing::StandInTools&, testing::TempHome&)> arrange;
        const char* message;
        Lines mountedAfter;
    };
    const Case cases[] = {
        {"home share refused",
         [](auto& tools, auto&) { tools.failMount("alice", 77); },
         "Failed to mount initial user home directory. The mount tool failed (exit status 77).",
         {}},
        {"no mac.bat",
         [](auto& tools, auto&) { tools.addServerFile("bob", "x", ""); },
         "Home mounted, but failed to read or find groups in mac.bat. The file is missing.",
         {"/bob"}},
        {"netlogon refused",
         [](auto& tools, auto&) { tools.failMount("netlogon", 1); },
         "User home mapped, but failed to connect to Netlogon share. The mount tool failed (exit "
         "status 1).",
         {"/alice"}},
    };
    for (const Case& c : cases) {
        testing::TempHome home;
        testing::StandInTools tools(GetParam());
        tools.addServerFile("alice", "mac.bat", "set GROUPS=staff\n");
        c.arrange(tools, home);
        const std::string user = std::string(c.name) == "no mac.bat" ? "bob" : "alice";
        std::string message;
        printed(
            [&] { message = SMBManager(tools.configFor(home)).performLogon("FS1", user, "pw"); });
        EXPECT_EQ(message, c.message) << c.name;
        Lines expected;
        for (const auto& m : c.mountedAfter) {
            expected.push_back(home.mountRoot() + m);
        }
        EXPECT_EQ(tools.mountsBelow(home.mountRoot()), expected) << c.name;
    }
}

// A mount root that cannot be used for other causes: LocalAttackerTest.
TEST_P(Workflow, WithoutAHomeThereIsNoMountRoot) {
    EngineConfig homeless = tools_.configFor(home_);
    homeless.homeFolder.clear();
    EXPECT_EQ(SMBManager(homeless).performLogon("FS1", "alice", kPassword),
              "Failed to create base ~/smbmounts folder: the home folder is not known");
    EXPECT_TRUE(tools_.calls().empty());
}

// Every unsafe form of a name: FolderNames.OnlyPlainNamesStandInsideTheMountRoot.
TEST_P(Workflow, UnsafeNamesNeverMountOnOrOutsideTheMountRoot) {
    tools_.addServerFile("netlogon", "shares.ini", "..:osx:staff\na/b:osx:staff\nFine:osx:staff\n");
    std::string message;
    const Lines lines =
        printed([&] { message = manager().performLogon("FS1", "alice", kPassword); });
    EXPECT_EQ(message, "Logon workflow finished. Shares mapped under ~/smbmounts/");
    EXPECT_EQ(lines,
              (Lines{
                  "Mounting user home directory target destination to: " + root() + "/alice",
                  R"(Detected Active User Groups: ["staff", "science"])",
                  R"(Skipping share "..": its name cannot stand as a folder in ~/smbmounts.)",
                  R"(Skipping share "a/b": its name cannot stand as a folder in ~/smbmounts.)",
                  "User matches group criteria for Fine. Mounting...",
              }));
    EXPECT_EQ(tools_.mountsBelow(home_.path()), (Lines{root() + "/alice", root() + "/Fine"}));

    for (const char* user : {"..", "a/b"}) {
        const std::string refused = manager().performLogon("FS1", user, kPassword);
        EXPECT_EQ(refused, "Failed to mount initial user home directory. The user name \"" +
                               std::string(user) + "\" cannot stand as a folder in ~/smbmounts.")
            << user;
    }
    EXPECT_EQ(tools_.mountsBelow(home_.path()), (Lines{root() + "/alice", root() + "/Fine"}));
}

// Windows name forms (each one a row in AccountNameTest): the domain travels to the tool in the
// URL's "DOMAIN;user", the user part alone names the home share, its folder and the user in
// messages; "\\server\..." names the server.
TEST_P(Workflow, AWindowsNameLogsOnAsTheUserOfThatDomain) {
    tools_.addServerFile("alice", "mac.bat", "set GROUPS=staff\n");
    tools_.addServerFile("netlogon", "shares.ini", "Staff:osx:staff\n");
    std::string message;
    // No password: the URL carries none, and the system's tool uses the user's ticket.
    const Lines lines = printed(
        [&] { message = manager().performLogon("\\\\FS1:1445\\USERS\\alice", "CORP\\alice", ""); });
    EXPECT_EQ(message, "Logon workflow finished. Shares mapped under ~/smbmounts/");
    EXPECT_EQ(lines.front(),
              "Mounting user home directory target destination to: " + root() + "/alice");
    const std::string server = "smb://CORP;alice@FS1:1445/";
    EXPECT_EQ(
        tools_.calls(),
        (std::vector<Call>{{"mount_smbfs", "-f", "777", server + "alice", root() + "/alice"},
                           {"mount_smbfs", "-f", "777", server + "netlogon", root() + "/netlogon"},
                           {"mount_smbfs", "-f", "777", server + "Staff", root() + "/Staff"},
                           unmountCall("netlogon")}));
    // The same user in another form owns these shares.
    EXPECT_EQ(manager(true).logon("FS1", "alice", "pw").outcome, Outcome::Succeeded);

    const std::string refused = manager().performLogon("FS1", "alice;x", kPassword);
    EXPECT_EQ(refused,
              "Failed to mount initial user home directory. The user name \"alice;x\" is "
              "not of the form NAME, DOMAIN\\NAME or NAME@DOMAIN.");
}

TEST_P(Workflow, PasswordTravelsOnStandardInputWhenAskedAndIsNeverPrinted) {
    const Lines lines = printed([&] { manager(true).performLogon("FS1", "alice", kPassword); });
    for (const Call& call : tools_.calls()) {
        for (const std::string& argument : call) {
            EXPECT_EQ(argument.find("p@ss"), std::string::npos) << argument;
            EXPECT_EQ(argument.find(kEncodedPassword), std::string::npos) << argument;
        }
    }
    EXPECT_EQ(tools_.calls()[0],
              (Call{"mount_smbfs", "-f", "777", "smb://alice@FS1/alice", root() + "/alice"}));
    EXPECT_EQ(tools_.standardInputs(), Lines(4, std::string(kPassword) + "\r\n"));
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("p@ss"), std::string::npos) << line;
    }
}

TEST_P(Workflow, ToolThatHangsOrCannotStartFailsTheLogon) {
    EngineConfig config = tools_.configFor(home_);
    config.toolTimeLimit = std::chrono::milliseconds(300);
    tools_.delayMount(20);
    const WorkflowResult hung = SMBManager(config).logon("FS1", "alice", kPassword);
    EXPECT_EQ(hung.outcome, Outcome::Failed);
    EXPECT_EQ(hung.message, "Failed to mount initial user home directory. " + tools_.mountTool() +
                                ": no answer within 1 s.");

    config.mountTool = home_.path() + "/no-such-tool";
    WorkflowResult missing;
    Lines lines = printed([&] { missing = SMBManager(config).logon("FS1", "alice", kPassword); });
    EXPECT_EQ(missing.outcome, Outcome::Failed);
    EXPECT_EQ(missing.message,
              "Failed to mount initial user home directory. The mount tool could "
              "not be started (" +
                  config.mountTool + ": No such file or directory); install or repair Quorvane.");
    EXPECT_EQ(lines,
              Lines{"Mounting user home directory target destination to: " + root() + "/alice"});
}

Interruption* g_stopOnSignal = nullptr;

TEST_P(Workflow, StopAsEachMountFinishesKeepsWhatItMadeAndNeverNetlogon) {
    struct sigaction action {};
    action.sa_handler = [](int) { g_stopOnSignal->raise(SIGTERM); };
    ::sigaction(SIGUSR1, &action, nullptr);
    // The step whose mount the stop meets, and the folders left (each one mounted).
    const std::pair<std::string, Lines> steps[] = {
        {"alice", {"alice"}},
        {"netlogon", {"alice"}},
        {"Science", {"Science", "alice"}},
        {"Staff Public", {"Science", "Staff Public", "alice"}}};
    for (const auto& [step, left] : steps) {
        Interruption stop;
        g_stopOnSignal = &stop;
        tools_.stopAfterMount(step);
        EngineConfig config = tools_.configFor(home_);
        config.interruption = &stop;
        WorkflowResult result;
        printed([&] { result = SMBManager(config).logon("FS1", "alice", kPassword); });
        EXPECT_EQ(result.outcome, Outcome::Interrupted) << step;
        EXPECT_EQ(result.mountedShares.size(), left.size()) << step;
        EXPECT_EQ(home_.mountRootEntries(), left) << step;
        printed([&] { manager().logout(); });
    }
    ::signal(SIGUSR1, SIG_DFL);
}

TEST_P(WorkflowOnRealMounts, LogoutCountsEveryVisibleEntryAndEmptiesTheMountRoot) {
    EXPECT_EQ(manager().disconnectAllShares(), "No shares mapped (smbmounts folder not found).");
    EXPECT_FALSE(fs::exists(root()));

    fs::create_directories(root() + "/.hidden");
    EXPECT_EQ(manager().disconnectAllShares(), "All shares are already disconnected.");

    printed([&] { manager().performLogon("FS1", "alice", kPassword); });
    fs::create_directories(root() + "/leftover");
    std::string message;
    const Lines lines = printed([&] { message = manager().disconnectAllShares(); });
    EXPECT_EQ(message, "Successfully disconnected 4 drive(s).");
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(tools_.mountsBelow(root()).empty());
    // What the user made stays, beside the logon lock; the folders' order is the file system's.
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(root())) {
        left.push_back(entry.path().filename());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".hidden", ".quorvane-lock"}));
    EXPECT_EQ(manager().disconnectAllShares(), "All shares are already disconnected.");
}

TEST_P(WorkflowOnRealMounts, LogoutNeverDeletesDataItCouldNotRelease) {
    printed([&] { manager().performLogon("FS1", "alice", kPassword); });
    writeFile(root() + "/alice/new.txt", "unsaved work");
    fs::create_directories(root() + "/stray/sub");
    writeFile(root() + "/stray/keep.txt", "local file");
    writeFile(root() + "/loose-file", "not a folder");

    tools_.failUnmount(32);  // as when a file on the share is still open
    // Not a success: the three shares still mounted are named; the stray folder and file
    // count as handled, and nothing in any of them is deleted.
    const WorkflowResult logout = manager().logout();
    EXPECT_EQ(logout.outcome, Outcome::PartlyDone);
    EXPECT_EQ(logout.message,
              "Disconnected 2 of 5 shares; still in use: alice, Science, Staff Public.");
    Lines left = logout.mountedShares;
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Lines{"Science", "Staff Public", "alice"}));
    EXPECT_EQ(readFile(root() + "/alice/new.txt"), "unsaved work");
    EXPECT_EQ(readFile(root() + "/stray/keep.txt"), "local file");
    EXPECT_EQ(readFile(root() + "/loose-file"), "not a folder");
    EXPECT_EQ(tools_.mountsBelow(root()).size(), 3u);

    // The same holds for the netlogon release at the end of a logon.
    printed([&] { manager().performLogon("FS1", "alice", kPassword); });
    EXPECT_TRUE(fs::exists(root() + "/netlogon/shares.ini"));
}

TEST_P(Workflow, LogoutStopsWhenTheUnmountToolCannotStart) {
    printed([&] { manager().performLogon("FS1", "alice", kPassword); });
    EngineConfig config = tools_.configFor(home_);
    config.unmountTool = home_.path() + "/no-such-umount";
    const std::string message = SMBManager(config).disconnectAllShares();
    EXPECT_EQ(message.rfind("Error while disconnecting: ", 0), 0u) << message;
    EXPECT_NE(message.find("no-such-umount"), std::string::npos) << message;
    EXPECT_EQ(tools_.mountsBelow(root()).size(), 3u);
}

// Unmounts that outlast their limit are ended with all they started: the shares still mounted
// are named and not counted as disconnected, and a folder that is no mount and empty by then
// goes all the same (a logout cut short at the end of a session leaves none behind).
TEST_P(Workflow, UnmountsWithNoAnswerAreNamedAndEndedFoldersGo) {
    printed([&] { manager().performLogon("FS1", "alice", kPassword); });
    fs::create_directories(root() + "/leftover");
    EngineConfig config = tools_.configFor(home_);
    config.unmountTimeLimit = std::chrono::milliseconds(300);
    config.stopGrace = std::chrono::milliseconds(100);
    tools_.delayUnmount(20);
    const WorkflowResult logout = SMBManager(config).logout();
    EXPECT_EQ(logout.outcome, Outcome::PartlyDone);
    EXPECT_EQ(logout.message,
              "Disconnected 1 of 4 shares; no answer within 1 s: alice, Science, Staff Public.");
    EXPECT_EQ(home_.mountRootEntries(), (Lines{"Science", "Staff Public", "alice"}));
    EXPECT_EQ(tools_.mountsBelow(root()).size(), 3u);
}

}  // namespace
}  // namespace quorvane
