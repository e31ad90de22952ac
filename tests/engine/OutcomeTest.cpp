// Outcomes and causes of the workflows, checked without the right to mount: the stand-in
// tools copy the pretend server's files, and a recorded mount table says what is mounted.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "MountTable.h"
#include "SMBManager.h"
#include "TestSupport.h"
#include "WorkflowLock.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class Outcomes : public ::testing::Test {
protected:
    void SetUp() override {
        tools_.addServerFile("alice", "mac.bat", "set GROUPS=staff\r\n");
        tools_.addServerFile("netlogon", "shares.ini",
                             "Science:osx:staff\nStaff Public:osx:staff\nLibrary:osx:staff\n");
    }
    EngineConfig config() const {
        EngineConfig config = tools_.configFor(home_);
        config.diagnostics = &printed_;
        config.mountToolExitStatusesKnown = true;
        config.mountToolChecksShares = true;
        return config;
    }
    std::string root() const { return home_.mountRoot(); }
    size_t mountCalls() const {
        size_t count = 0;
        for (const auto& call : tools_.calls()) {
            count += call.front() == "mount_smbfs" ? 1 : 0;
        }
        return count;
    }

    testing::TempHome home_;
    testing::StandInTools tools_;
    mutable std::ostringstream printed_;
};

TEST_F(Outcomes, ServerNamesNoHostCanHaveFailBeforeAnythingRuns) {
    const std::pair<const char*, const char*> cases[] = {
        {"corp@127.0.0.1",
         "The server name \"corp@127.0.0.1\" holds \"@\", which no server name "
         "can hold."},
        {"FS 1", "The server name \"FS 1\" holds a blank or control character."},
        {"fs1\x1b[2J", "The server name \"fs1\\u{1B}[2J\" holds a blank or control character."},
        {"FS\xE3\x80\x80",
         "The server name \"FS\xE3\x80\x80\" holds a blank or control character."},
        {"FS\xC2\x85", "The server name \"FS\\u{85}\" holds a blank or control character."},
        {"/users", "No server name was given."},
        {"smb://", "No server name was given."},
        {"::1",
         "The server name \"::1\" holds more than one \":\": an IPv6 address stands in "
         "brackets, as in [::1] or [::1]:445."},
        {"[fs1]", "The server name \"[fs1]\" holds no IPv6 address between \"[\" and \"]\"."},
        {"fs1:0", "The server name \"fs1:0\" has a port that is not a number from 1 to 65535."},
    };
    for (const auto& [server, cause] : cases) {
        const WorkflowResult result = SMBManager(config()).logon(server, "alice", "pw");
        EXPECT_EQ(result.outcome, Outcome::Failed) << server;
        EXPECT_EQ(result.message,
                  std::string("Failed to mount initial user home directory. ") + cause);
    }
    EXPECT_EQ(mountCalls(), 0u);

    // An IPv6 address in brackets reaches the tool in the form Samba's library resolves.
    SMBManager(config()).logon("[::1]:445", "alice", "pw");
    EXPECT_EQ(tools_.calls().at(0).at(3),
              "smb://alice:pw@0-0-0-0-0-0-0-1.ipv6-literal.net:445/alice");
}

TEST_F(Outcomes, AnotherUsersSharesBlockTheLogonUntilALogout) {
    fs::create_directories(root() + "/bob");
    EngineConfig withBob = config();
    const std::string bobFolder = root() + "/bob";
    withBob.mountTable = [bobFolder](const std::string& path) -> std::optional<MountEntry> {
        if (path == bobFolder) {
            return MountEntry{bobFolder, "fuse.mount_smbfs", "smb://CORP;Bob@FS1/bob", "/"};
        }
        return std::nullopt;
    };
    const WorkflowResult refused = SMBManager(withBob).logon("FS1", "alice", "pw");
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    EXPECT_EQ(refused.message,
              "Shares of user Bob are still mounted under ~/smbmounts/. Log out first, then log "
              "on again.");
    EXPECT_EQ(refused.mountedShares, Lines{"bob"});
    EXPECT_EQ(mountCalls(), 0u);

    // The same account in other letters is no stranger, and its home is the one mounted.
    testing::writeFile(bobFolder + "/mac.bat", "set GROUPS=none\n");
    const WorkflowResult same = SMBManager(withBob).logon("FS1", "BOB", "pw");
    EXPECT_EQ(same.outcome, Outcome::Succeeded) << same.message;
}

TEST_F(Outcomes, AFailedGroupShareLeavesNoFolderAndASilentServerEndsTheRest) {
    tools_.failMount("Science", 6);  // the tool's status for a server that does not answer
    const WorkflowResult result = SMBManager(config()).logon("FS1", "alice", "pw");
    EXPECT_EQ(result.outcome, Outcome::PartlyDone);
    EXPECT_EQ(result.message,
              "Logon workflow finished. Shares mapped under ~/smbmounts/ Not mounted: Science, "
              "Staff Public, Library.");
    // home, netlogon, Science: the two after the silence were never tried.
    EXPECT_EQ(mountCalls(), 3u);
    EXPECT_FALSE(fs::exists(root() + "/Science"));
    EXPECT_NE(printed_.str().find("Skipping share Library: The server was not found or is not "
                                  "answering."),
              std::string::npos)
        << printed_.str();
}

// A refused share does not end the logon; at the first, one run asks which of the rest the
// server has at all, and names those it lacks without a run each.
TEST_F(Outcomes, ARefusedShareLeavesTheOthersAndThoseTheServerLacksCostOneRun) {
    std::string map = "Forbidden:osx:staff\nOld1:osx:staff\nScience:osx:staff\n";
    for (int i = 1; i <= 200; ++i) {
        map += "Old" + std::to_string(i + 1) + ":osx:staff\n";
        tools_.removeShare("Old" + std::to_string(i));
    }
    tools_.addServerFile("netlogon", "shares.ini", map);
    tools_.failMount("Forbidden", 5);
    const WorkflowResult result = SMBManager(config()).logon("FS1", "alice", "pw");
    EXPECT_EQ(result.message,
              "Logon workflow finished. Shares mapped under ~/smbmounts/ Not mounted: Forbidden. "
              "Not on the server: Old1, Old2, Old3, Old4, Old5 and 57 more. Not tried, beyond 64 "
              "group shares per logon: Old63, Old64, Old65, Old66, Old67 and 134 more.");
    // home, netlogon, Forbidden, the check of it and the 63 after it, Science.
    EXPECT_EQ(mountCalls(), 5u);
    EXPECT_EQ(tools_.calls().at(3).at(1), "--check");
    EXPECT_EQ(tools_.calls().at(3).size(), 66u);
    EXPECT_EQ(tools_.mountsBelow(root()), (Lines{root() + "/alice", root() + "/Science"}));
    ASSERT_EQ(result.notMounted.size(), 63u);  // each with its reason, for the notice
    EXPECT_EQ(result.notMounted[0].cause, "The share is unknown or not allowed.");
    EXPECT_EQ(result.notMounted[62].cause, "The server has no share of this name.");
    EXPECT_NE(printed_.str().find("Skipping share Old2: The server has no share of this name."),
              std::string::npos);
}

TEST_F(Outcomes, AServerFileThatNeverAnswersFailsItsStepInBoundedTime) {
    // A FIFO blocks its reader the way a read from a hung server does.
    const std::string fifo = root() + "/alice/mac.bat";
    fs::create_directories(root() + "/alice");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EngineConfig hung = config();
    hung.serverFileTimeLimit = 300ms;
    const std::string aliceFolder = root() + "/alice";
    hung.mountTable = [aliceFolder](const std::string& path) -> std::optional<MountEntry> {
        if (path == aliceFolder) {
            return MountEntry{aliceFolder, "fuse", "smb://alice@FS1/alice", "/"};
        }
        return std::nullopt;
    };
    const auto started = std::chrono::steady_clock::now();
    const WorkflowResult result = SMBManager(hung).logon("FS1", "alice", "pw");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.message,
              "Home mounted, but failed to read or find groups in mac.bat. The server gave no "
              "answer within 1 s.");

    // A stop request does not wait for the limit either.
    Interruption stop;
    hung.serverFileTimeLimit = 60s;
    hung.interruption = &stop;
    std::thread raiser([&] {
        std::this_thread::sleep_for(200ms);
        stop.raise(SIGTERM);
    });
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_EQ(SMBManager(hung).logon("FS1", "alice", "pw").outcome, Outcome::Interrupted);
    raiser.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);

    // Let the abandoned readers go.
    for (int i = 0; i < 2; ++i) {
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }

    // A device reads as nothing (or without end): it is no logon script.
    fs::remove(fifo);
    fs::create_symlink("/dev/null", fifo);
    hung.interruption = nullptr;
    EXPECT_EQ(SMBManager(hung).logon("FS1", "alice", "pw").message,
              "Home mounted, but failed to read or find groups in mac.bat. The file cannot be "
              "read: A device, not a plain file.");
}

TEST_F(Outcomes, OneUsersWorkflowsNeverRunAtOnce) {
    fs::create_directories(root() + "/leftover");
    const WorkflowLock first(root());
    ASSERT_TRUE(first.held());
    EXPECT_EQ(SMBManager(config()).logon("FS1", "alice", "pw").message, messages::kBusy);
    const WorkflowResult logout = SMBManager(config()).logout();
    EXPECT_EQ(logout.outcome, Outcome::Failed);
    EXPECT_EQ(logout.message, messages::kBusy);
    EXPECT_TRUE(fs::exists(root() + "/leftover"));
    EXPECT_EQ(mountCalls(), 0u);
}

TEST_F(Outcomes, ServerTextReachesTheTerminalEscapedAndHiddenSharesAreRefused) {
    tools_.addServerFile("netlogon", "shares.ini",
                         "\x1b]0;owned\x07:osx:staff\n.hidden:osx:staff\nLab\xC2\x9B"
                         "2J:osx:staff\n");
    // The mount tool repeats the share's name when it fails: that reaches the terminal too.
    tools_.failMount("\x1b]0;owned\x07", 5, "mount_smbfs: no share named \"\x1b]0;owned\x07\"\n");
    ::testing::internal::CaptureStderr();
    const WorkflowResult result = SMBManager(config()).logon("FS1", "alice", "pw");
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.outcome, Outcome::PartlyDone);
    EXPECT_NE(errors.find("no share named \"\\u{1B}]0;owned\\u{7}\""), std::string::npos) << errors;
    const std::string out = printed_.str();
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(out.find("\xC2\x9B"), std::string::npos);
    EXPECT_NE(out.find("User matches group criteria for \\u{1B}]0;owned\\u{7}. Mounting..."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("User matches group criteria for Lab\\u{9B}2J. Mounting..."),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Skipping share \".hidden\": its name cannot stand as a folder"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(root() + "/.hidden"));
}

}  // namespace
}  // namespace quorvane
