// What logon and reconnect decide when shares are broken and the password is wrong, changed,
// kept or missing: counted as tool runs and password handovers of stand-in tools and daemons,
// since each one costs the account a logon at the server.
#include <algorithm>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

#include "SMBManager.h"
#include "SecretStore.h"
#include "TestSupport.h"

namespace quorvane {
namespace {

using quorvane::testing::FakeSecretStore;

using Lines = std::vector<std::string>;
using Call = std::vector<std::string>;

constexpr const char* kOld = "old pass";
constexpr const char* kNew = "new pass";

// The mount daemons of the stand-in mounts: each answers as the test broke it until its share
// is mounted again, and takes a new password when the pretend server does.
class StandInDaemons {
public:
    explicit StandInDaemons(const testing::StandInTools& tools) : tools_(tools) {}

    void breakShare(const std::string& mountPoint, ShareCondition condition) {
        broken_[mountPoint] = {condition, mountsOf(mountPoint)};
    }
    void serverTakes(const std::string& password) { password_ = password; }

    ShareCondition conditionOf(const std::string& mountPoint) const {
        const auto found = broken_.find(mountPoint);
        return found == broken_.end() || mountsOf(mountPoint) > found->second.mounts
                   ? ShareCondition::Answering
                   : found->second.condition;
    }

    void install(EngineConfig& config) {
        config.shareCheck = [this](const std::vector<std::string>& folders,
                                   const std::vector<std::optional<MountEntry>>& mounts) {
            std::vector<ShareCondition> conditions;
            for (size_t i = 0; i < folders.size(); ++i) {
                conditions.push_back(mounts[i] ? conditionOf(folders[i])
                                               : ShareCondition::NotAMount);
            }
            return conditions;
        };
        config.passwordHandover = [this](const std::string& mountPoint,
                                         const std::string& password) {
            const std::lock_guard<std::mutex> lock(mutex_);  // the engine asks all at once
            handovers.push_back(mountPoint);
            const ShareCondition now = conditionOf(mountPoint);
            if (now == ShareCondition::MountGone || now == ShareCondition::MountStuck) {
                return ShareCondition::Unknown;
            }
            if (password != password_) {
                ++refusedHandovers;
                return ShareCondition::PasswordRejected;
            }
            broken_.erase(mountPoint);
            return ShareCondition::Answering;
        };
    }

    std::vector<std::string> handovers;
    int refusedHandovers = 0;

private:
    size_t mountsOf(const std::string& mountPoint) const {
        const auto calls = tools_.calls();
        return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) {
            return c.front() == "mount_smbfs" && c.back() == mountPoint;
        }));
    }
    struct Broken {
        ShareCondition condition;
        size_t mounts;  // mounts of the folder when it broke
    };
    const testing::StandInTools& tools_;
    std::mutex mutex_;
    std::map<std::string, Broken> broken_;
    std::string password_ = kOld;
};

// Eleven group shares beside the home share: the desk of the reports that saw 13 refusals.
class Repair : public ::testing::Test {
protected:
    void SetUp() override {
        tools_.showUsersInSources();
        tools_.acceptOnly(kOld);
        tools_.addServerFile("alice", "mac.bat", "set GROUPS=staff\r\n");
        std::string map;
        for (int i = 1; i <= 11; ++i) {
            map += "G" + std::to_string(i) + ":osx:staff\n";
        }
        tools_.addServerFile("netlogon", "shares.ini", map);
        daemons_.install(config_);
        config_.secrets = &store_;
    }
    EngineConfig makeConfig() const {
        EngineConfig config = tools_.configFor(home_, true);
        config.diagnostics = &printed_;
        config.mountToolExitStatusesKnown = true;
        config.mountToolChecksShares = true;
        return config;
    }
    SMBManager manager() const { return SMBManager(config_); }
    std::string root() const { return home_.mountRoot(); }
    Lines mounted() const { return tools_.mountsBelow(root()); }

    // The password changed on the server: every daemon's logon is refused from now on.
    void changePassword() {
        tools_.acceptOnly(kNew);
        daemons_.serverTakes(kNew);
        for (const std::string& mountPoint : mounted()) {
            daemons_.breakShare(mountPoint, ShareCondition::PasswordRejected);
        }
    }
    // The tool runs and handovers from here on.
    void startCounting() {
        callsBefore_ = tools_.calls().size();
        daemons_.handovers.clear();
        daemons_.refusedHandovers = 0;
    }
    std::vector<Call> newCalls() const {
        const auto calls = tools_.calls();
        return {calls.begin() + static_cast<long>(callsBefore_), calls.end()};
    }
    Call checkCall(const std::string& share, const std::string& user = "alice") const {
        return {"mount_smbfs", "--check", "smb://" + user + "@FS1/" + share};
    }

    testing::TempHome home_;
    testing::StandInTools tools_;
    mutable std::ostringstream printed_;
    StandInDaemons daemons_{tools_};
    EngineConfig config_ = makeConfig();
    FakeSecretStore store_;
    size_t callsBefore_ = 0;
};

TEST_F(Repair, AWrongPasswordWithTwelveSharesMountedIsTriedOnceAndReachesNoDaemon) {
    ASSERT_EQ(manager().logon("FS1", "alice", kOld).outcome, Outcome::Succeeded);
    ASSERT_EQ(mounted().size(), 12u);
    store_.kept = "alice@fs1\n" + std::string(kOld);
    changePassword();

    for (const char* typed : {"typo", kOld}) {
        SCOPED_TRACE(typed);
        startCounting();
        const WorkflowResult result = manager().logon("FS1", "alice", typed);
        EXPECT_EQ(result.outcome, Outcome::Failed);
        EXPECT_EQ(result.message,
                  "Failed to mount initial user home directory. Wrong user name "
                  "or password.");
        EXPECT_EQ(result.password, WorkflowResult::Password::Refused);
        EXPECT_EQ(newCalls(), std::vector<Call>{checkCall("alice")});
        EXPECT_TRUE(daemons_.handovers.empty());
        EXPECT_EQ(mounted().size(), 12u);
        // The panel and the command line keep nothing the server refused.
        keepPasswordOfLogon(&store_, "FS1", "alice", typed, true, result);
        EXPECT_FALSE(store_.kept);
    }
}

// The server refuses the password halfway through the group shares (changed meanwhile): the
// first refusal ends the attempt, the rest are not tried.
TEST_F(Repair, AGroupShareRefusingThePasswordEndsTheTries) {
    tools_.failMount("G2", 4, "mount_smbfs: wrong user name, password or ticket\n");
    const WorkflowResult result = manager().logon("FS1", "alice", kOld);
    EXPECT_EQ(result.outcome, Outcome::PartlyDone);
    size_t groupMounts = 0;
    for (const Call& call : tools_.calls()) {
        groupMounts += call.front() == "mount_smbfs" && call.back().find("/G") != std::string::npos;
    }
    EXPECT_EQ(groupMounts, 2u);  // G1, and G2 refused
    EXPECT_NE(printed_.str().find("Skipping share G11: Wrong user name or password."),
              std::string::npos)
        << printed_.str();
}

// The password-change day: the new password reaches every daemon after one check, so every
// share and the files held open there work again without a remount; mac.bat and shares.ini are
// read after that, and a group share that had gone is mounted again.
TEST_F(Repair, ANewPasswordRepairsEveryShareWithoutARemountAndMountsWhatIsMissing) {
    ASSERT_EQ(manager().logon("FS1", "alice", kOld).outcome, Outcome::Succeeded);
    changePassword();
    ::testing::internal::CaptureStderr();
    SMBManager(makeConfig()).unmountVolume(root() + "/G5");  // lost meanwhile
    ::testing::internal::GetCapturedStderr();
    startCounting();

    const WorkflowResult result = manager().logon("FS1", "alice", kNew);
    EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
    EXPECT_EQ(result.password, WorkflowResult::Password::Taken);
    EXPECT_EQ(daemons_.handovers.size(), 11u);
    EXPECT_EQ(daemons_.refusedHandovers, 0);
    const std::vector<Call> calls = newCalls();
    EXPECT_EQ(calls.front(), checkCall("alice"));
    // Only netlogon and the lost share are mounted; nothing is released but netlogon.
    std::vector<std::string> mountedNow;
    for (const Call& call : calls) {
        if (call.front() == "mount_smbfs" && call[1] != "--check") {
            mountedNow.push_back(call.back().substr(root().size() + 1));
        }
        if (call.front() == "umount") {
            EXPECT_EQ(call.back(), root() + "/netlogon");
        }
    }
    EXPECT_EQ(mountedNow, (Lines{"netlogon", "G5"}));
    EXPECT_EQ(mounted().size(), 12u);
    for (const std::string& mountPoint : mounted()) {
        EXPECT_EQ(daemons_.conditionOf(mountPoint), ShareCondition::Answering) << mountPoint;
    }
}

// Reconnect with a password gone bad or missing never releases a share it cannot mount again:
// each case counts the server logons it cost.
TEST_F(Repair, ReconnectReleasesNothingWithoutAPasswordTheServerHasJustTaken) {
    struct Case {
        const char* name;
        std::optional<std::string> kept;
        std::string typed;
        WorkflowResult::Password verdict;
        const char* message;
        bool keptAfter;
    };
    const Case cases[] = {
        {"nothing kept, nothing typed", std::nullopt, "", WorkflowResult::Password::NotAsked,
         "Nothing was released. The password is needed to reconnect alice, G3.", false},
        {"kept password refused", "alice@fs1\n" + std::string(kOld), "",
         WorkflowResult::Password::Refused,
         "The server refused the kept password, which is forgotten. Nothing was released. The "
         "password is needed to reconnect alice, G3.",
         false},
        {"typed password refused", std::nullopt, "typo", WorkflowResult::Password::Refused,
         "Wrong user name or password. Nothing was released. The password is needed to "
         "reconnect alice, G3.",
         false},
        {"kept for another server", "alice@fs2\n" + std::string(kNew), "",
         WorkflowResult::Password::NotAsked,
         "Nothing was released. The password is needed to reconnect alice, G3.", true},
    };
    ASSERT_EQ(manager().logon("FS1", "alice", kOld).outcome, Outcome::Succeeded);
    tools_.acceptOnly(kNew);
    daemons_.serverTakes(kNew);
    daemons_.breakShare(root() + "/alice", ShareCondition::PasswordRejected);
    daemons_.breakShare(root() + "/G3", ShareCondition::MountGone);
    // Each case releases and remounts nothing, so the next one meets the same broken shares.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store_.kept = c.kept;
        startCounting();

        const WorkflowResult result = manager().reconnect(c.typed);
        EXPECT_EQ(result.outcome, Outcome::Failed);
        EXPECT_TRUE(result.passwordNeeded);
        EXPECT_EQ(result.password, c.verdict);
        EXPECT_EQ(result.message, c.message);
        // A refused password cost one check; without one nothing ran at all.
        EXPECT_EQ(newCalls().size(), c.verdict == WorkflowResult::Password::Refused ? 1u : 0u);
        EXPECT_TRUE(daemons_.handovers.empty());
        EXPECT_EQ(mounted().size(), 12u);
        EXPECT_EQ(store_.kept.has_value(), c.keptAfter);
    }
}

// With the password the server now takes (typed or kept): one check, the password handed to
// the account's daemons, and only the shares whose daemons are gone or stopped released and
// mounted again, each as the account of its mount.
TEST_F(Repair, ReconnectWithATakenPasswordRemountsOnlyTheSharesWhoseDaemonsAreGone) {
    for (const bool kept : {false, true}) {
        SCOPED_TRACE(kept ? "kept" : "typed");
        const std::string account = kept ? "CORP;alice" : "alice";
        ASSERT_EQ(manager().logout().outcome, Outcome::Succeeded);
        tools_.acceptOnly(kOld);
        daemons_.serverTakes(kOld);
        ASSERT_EQ(manager().logon("FS1", kept ? "CORP\\alice" : "alice", kOld).outcome,
                  Outcome::Succeeded);
        changePassword();
        daemons_.breakShare(root() + "/G3", ShareCondition::MountGone);
        daemons_.breakShare(root() + "/G7", ShareCondition::MountStuck);
        store_.kept =
            kept ? std::optional<std::string>("alice@fs1\n" + std::string(kNew)) : std::nullopt;
        startCounting();

        const WorkflowResult result = manager().reconnect(kept ? "" : kNew);
        EXPECT_EQ(result.outcome, Outcome::Succeeded) << result.message;
        EXPECT_FALSE(result.passwordNeeded);
        EXPECT_EQ(result.message, "Reconnected 12 share(s).");
        const std::vector<Call> calls = newCalls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(
            calls.front(),
            checkCall(calls.front().back().substr(calls.front().back().rfind('/') + 1), account));
        Lines remade;
        for (const Call& call : calls) {
            if (call.front() == "umount") {
                remade.push_back("umount " + call.back().substr(root().size() + 1));
            } else if (call[1] != "--check") {
                remade.push_back(call[3] + " " + call.back().substr(root().size() + 1));
            }
        }
        EXPECT_EQ(remade, (Lines{"umount G3", "smb://" + account + "@FS1/G3 G3", "umount G7",
                                 "smb://" + account + "@FS1/G7 G7"}));
        EXPECT_EQ(daemons_.handovers.size(), 12u);
        EXPECT_EQ(daemons_.refusedHandovers, 0);
        EXPECT_EQ(store_.kept.has_value(), kept);
        for (const std::string& mountPoint : mounted()) {
            EXPECT_EQ(daemons_.conditionOf(mountPoint), ShareCondition::Answering) << mountPoint;
        }
    }
}

// A folder whose mount shows another share as its source is not that folder's share: it is
// neither released nor mounted again, and the message names it.
TEST_F(Repair, ReconnectLeavesAFolderWhoseMountNamesAnotherShare) {
    ASSERT_EQ(manager().logon("FS1", "alice", kOld).outcome, Outcome::Succeeded);
    const std::string tool = tools_.mountTool();
    const std::string table = tool.substr(0, tool.rfind('/')) + "/mounts";
    std::string lines = testing::readFile(table);
    const size_t at = lines.find("@FS1/G3\n");
    ASSERT_NE(at, std::string::npos) << lines;
    lines.replace(at, 8, "@FS1/G5\n");
    ASSERT_TRUE(testing::writeFile(table, lines));
    daemons_.breakShare(root() + "/G3", ShareCondition::MountGone);
    startCounting();

    const WorkflowResult result = manager().reconnect(kOld);
    EXPECT_NE(result.outcome, Outcome::Succeeded);
    EXPECT_NE(result.message.find("G3"), std::string::npos) << result.message;
    for (const Call& call : newCalls()) {
        EXPECT_NE(call.back(), root() + "/G3") << "released or mounted again";
    }
}

}  // namespace
}  // namespace quorvane
