// Who gets to pose as a mount daemon, and what reaches the server through one: another local
// user, a program of the user's that only takes the tool's name and arguments, and a stream
// of wrong passwords on a real daemon's socket, counted in the server's own log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "DaemonSockets.h"
#include "DomainFixture.h"
#include "MountTable.h"
#include "ShareHealth.h"
#include "SmbUrl.h"

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The impostor program, running until the end of the scope; what it was sent lands in
// record().
class Impostor {
public:
    Impostor(const std::string& mountPoint, std::optional<pid_t> posingAs = std::nullopt)
        : folder_(makeTempFolder("quorvane-impostor")) {
        std::map<std::string, std::string> environment = {{"IMPOSTOR_RECORD", folder_ + "/record"}};
        if (posingAs) {
            environment["IMPOSTOR_PID"] = std::to_string(*posingAs);
        }
        running_ = std::thread([=] {
            runProgram(buildFolder() + "/impostor/mount_smbfs",
                       {"--serve", "//127.0.0.1/Projects", mountPoint}, environment, std::nullopt,
                       std::chrono::minutes(5), nullptr, &stop_);
        });
        EXPECT_TRUE(eventually([&] { return fs::exists(folder_ + "/record.listening"); }))
            << "the impostor did not listen";
    }
    ~Impostor() {
        stop_.raise();
        running_.join();
        fs::remove_all(folder_);
    }
    std::string record() const { return readFile(folder_ + "/record"); }

private:
    std::string folder_;
    Interruption stop_;
    std::thread running_;
};

class DaemonTrustTest : public DomainTest {
protected:
    static std::map<std::string, ShareCondition> conditions(const TempHome& home) {
        std::map<std::string, ShareCondition> found;
        for (const ShareState& share : checkMountRoot(listMountRoot(home.mountRoot()))) {
            if (share.mount) {
                found[share.name] = share.condition;
            }
        }
        return found;
    }
};

// A second user can neither enter the daemons' folder nor listen there, and the names the
// daemons used to listen under no longer matter: taken in advance, every share still answers.
TEST_F(DaemonTrustTest, AnotherUserCannotListenInPlaceOfTheDaemons) {
    if (const std::string why = SecondUser::whyNot(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::optional<std::string> folder = daemons::socketFolder();
    ASSERT_TRUE(folder);
    struct stat info {};
    ASSERT_EQ(::stat(folder->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    SecondUser attacker;
    // The next pids' old abstract names, held while the user logs on.
    attacker.start({"/usr/bin/python3", "-c",
                    "import os, socket, time\n"
                    "held = []\n"
                    "base = os.getpid()\n"
                    "for p in range(base, base + 400):\n"
                    "    s = socket.socket(socket.AF_UNIX)\n"
                    "    s.bind('\\0quorvane-mount-health/%d' % p)\n"
                    "    s.listen(1)\n"
                    "    held.append(s)\n"
                    "time.sleep(60)\n"});
    const std::string inFolder = daemons::socketPath(*folder, ::getpid() + 1);
    const ProgramRun bind =
        attacker.run({"/usr/bin/python3", "-c",
                      "import socket\nsocket.socket(socket.AF_UNIX).bind('" + inFolder + "')"});
    EXPECT_NE(bind.status(), 0);
    EXPECT_NE(bind.err().find("PermissionError"), std::string::npos) << bind.err();
    EXPECT_NE(attacker.run({"/bin/ls", *folder}).status(), 0);

    TempHome home;
    ASSERT_EQ(logon(home, "alice").status(), 0);
    const auto found = conditions(home);
    EXPECT_EQ(found.size(), 6u);
    for (const auto& [name, condition] : found) {
        EXPECT_EQ(condition, ShareCondition::Answering) << name;
    }
    EXPECT_EQ(home.cli({"logout"}).status(), 0);
}

// A program of the user's named mount_smbfs, with the daemon's argument list, listening under
// its own pid or in place of the real daemon: the typed password never reaches it, neither
// handed over directly nor at the next logon, and in the real daemon's place it is not
// believed.
TEST_F(DaemonTrustTest, AnImpostorOfTheSameUserGetsNoPassword) {
    TempHome home;
    const std::string password = domain().user("alice").password;
    ASSERT_EQ(logon(home, "alice", password).status(), 0);
    const std::string projects = home.mountRoot() + "/Projects";
    const pid_t real = daemonOf(projects);
    ASSERT_GT(real, 0);
    {
        Impostor impostor(projects);
        // Seen for what it runs, it is not taken for the share's daemon: the password goes to
        // the real one.
        EXPECT_EQ(mountDaemonPids()[projects], real);
        EXPECT_EQ(handPasswordToDaemon(projects, password), ShareCondition::Answering);
        const ProgramRun again = logon(home, "alice", password);
        EXPECT_EQ(again.status(), 0) << again.out() << again.err();
        EXPECT_EQ(impostor.record(), "");
    }
    {
        Impostor inPlace(projects, real);  // the real daemon's socket taken over
        EXPECT_EQ(conditions(home)["Projects"], ShareCondition::Unknown);
        EXPECT_EQ(handPasswordToDaemon(projects, "typed secret"), ShareCondition::Unknown);
        EXPECT_EQ(inPlace.record(), "");
    }
    EXPECT_EQ(home.cli({"logout"}).status(), 0);
}

// Wrong passwords straight to a real daemon's socket, one after another: the daemon holds
// each answer after a refusal, the server sees no more than the cap of failed logons, and the
// one past the cap is refused untried. The rule's own waits are ToolsUnitTest's table.
TEST_F(DaemonTrustTest, WrongPasswordsThroughADaemonArePacedAndCapped) {
    // One share is enough: mounted by the tool itself, without a whole logon.
    TempHome home;
    const std::string share = home.mountRoot() + "/alice";
    fs::create_directories(share);
    const ProgramRun mounted =
        runProgram(toolsFolder() + "/mount_smbfs",
                   {"-f", "700", buildSmbUrl("alice", nullptr, domain().server(), "alice"), share},
                   home.environment(), domain().user("alice").password, 30s);
    ASSERT_EQ(mounted.status(), 0) << mounted.err();
    const int failedBefore = domain().failedLogons("alice");
    const auto started = std::chrono::steady_clock::now();
    std::vector<ShareCondition> answers;
    for (int attempt = 0; attempt < 4; ++attempt) {
        answers.push_back(handPasswordToDaemon(share, "wrong " + std::to_string(attempt), 10s));
    }
    // The waits after the three refusals (1, 2 and 4 s) all passed before the last answer.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 7s);
    EXPECT_EQ(domain().failedLogons("alice") - failedBefore, 3);
    EXPECT_EQ(answers, (std::vector<ShareCondition>{
                           ShareCondition::PasswordRejected, ShareCondition::PasswordRejected,
                           ShareCondition::PasswordRejected, ShareCondition::Unknown}));
    // The share itself still works with the password it had.
    EXPECT_EQ(conditions(home)["alice"], ShareCondition::Answering);
    EXPECT_EQ(runProgram(toolsFolder() + "/umount", {share}, home.environment()).status(), 0);
}

}  // namespace
}  // namespace quorvane::testing
