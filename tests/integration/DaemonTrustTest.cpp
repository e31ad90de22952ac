// Who gets to pose as a mount daemon, and what reaches the server through one: another local
// user, a program of the user's that only takes the tool's name and arguments, and a stream
// of wrong passwords on a real daemon's socket, counted in the server's own log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "DaemonSockets.h"
#include "DomainFixture.h"
#include "MountTable.h"
#include "ShareHealth.h"
#include "SmbUrl.h"

extern char** environ;

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The impostor program, running until the end of the scope; what it was sent lands in
// record().
class Impostor {
public:
    Impostor(const std::string& mountPoint, std::optional<pid_t> posingAs = std::nullopt)
        : record_(makeTempFolder("quorvane-impostor") + "/record") {
        const std::string program = buildFolder() + "/impostor/mount_smbfs";
        std::vector<std::string> words = {program, "--serve", "//127.0.0.1/Projects", mountPoint};
        std::vector<std::string> environment = {"IMPOSTOR_RECORD=" + record_};
        if (posingAs) {
            environment.push_back("IMPOSTOR_PID=" + std::to_string(*posingAs));
        }
        for (char** entry = environ; *entry != nullptr; ++entry) {
            environment.emplace_back(*entry);
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        int ready[2];
        EXPECT_EQ(::pipe2(ready, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
        EXPECT_EQ(
            ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(ready[1]);
        char line[16] = {};
        EXPECT_GT(::read(ready[0], line, sizeof line), 0) << "the impostor did not listen";
        ::close(ready[0]);
    }
    ~Impostor() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        fs::remove_all(fs::path(record_).parent_path());
    }
    pid_t pid() const { return pid_; }
    std::string record() const { return readFile(record_); }

private:
    std::string record_;
    pid_t pid_ = -1;
};

class DaemonTrustTest : public DomainTest {
protected:
    ProgramRun logon(const TempHome& home, const std::string& user, const std::string& password) {
        return home.cli({"logon", "--server", domain().server(), "--user", user}, password);
    }
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
    ASSERT_EQ(logon(home, "alice", domain().user("alice").password).status(), 0);
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
    using Clock = std::chrono::steady_clock;
    std::vector<ShareCondition> answers;
    std::vector<Clock::time_point> asked;
    std::vector<Clock::time_point> answered;
    for (int attempt = 0; attempt < 4; ++attempt) {
        asked.push_back(Clock::now());
        answers.push_back(handPasswordToDaemon(share, "wrong " + std::to_string(attempt), 10s));
        answered.push_back(Clock::now());
    }
    const int failed = domain().failedLogons("alice") - failedBefore;
    EXPECT_EQ(failed, 3);
    EXPECT_EQ(answers, (std::vector<ShareCondition>{
                           ShareCondition::PasswordRejected, ShareCondition::PasswordRejected,
                           ShareCondition::PasswordRejected, ShareCondition::Unknown}));
    // A refusal falls between the asking and the answer of its password, so the next answer
    // comes no sooner than the pacing's wait after that password was asked: 1, 2, then 4 s.
    const Clock::duration waits[] = {1s, 2s, 4s};
    for (int next = 1; next < 4; ++next) {
        EXPECT_GE(answered[next] - asked[next - 1], waits[next - 1]) << "answer " << next + 1;
    }
    // The share itself still works with the password it had.
    EXPECT_EQ(conditions(home)["alice"], ShareCondition::Answering);
    EXPECT_EQ(runProgram(toolsFolder() + "/umount", {share}, home.environment()).status(), 0);
}

}  // namespace
}  // namespace quorvane::testing
