// What `status` says of each share in real broken states, and `reconnect` repairing them,
// against the private domain's smbd with real FUSE mounts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "DomainFixture.h"

namespace quorvane::testing {
namespace {

class HealthTest : public DomainTest {
protected:
    // The status line of the folder `name`.
    static std::string lineOf(const ProgramRun& status, const std::string& name) {
        const size_t start = status.out().find("  " + name + "  ");
        return start == std::string::npos
                   ? ""
                   : status.out().substr(start, status.out().find('\n', start) - start);
    }
};

// A program holds a file on a share whose daemon is then killed, and another share's daemon is
// stopped: reconnect, with the password kept in a real Secret Service, detaches both mounts
// and mounts the shares again without asking, as the same account of the same domain; the old
// handle only ever gives errors.
// Logout forgets the password.
TEST_F(HealthTest, ReconnectRepairsAKilledDaemonWhileAProgramHoldsAFileThere) {
    TempHome home;
    const std::string projects = home.mountRoot() + "/Projects";
    const std::string password = domain().user("bob").password;
    const ProgramRun logon = home.desk(
        {"logon", "--server", domain().server(), "--user", "QUORVANE\\bob", "--remember-password"},
        password);
    ASSERT_EQ(logon.status(), 0) << logon.out() << logon.err();
    ASSERT_NE(home.keptSecret().value_or("").find("\n" + password), std::string::npos);
    const int held = ::open((projects + "/welcome.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::kill(daemonOf(projects), SIGKILL), 0);
    ASSERT_TRUE(waitForNoDaemon(projects));
    ASSERT_EQ(::kill(daemonOf(home.mountRoot() + "/Admin"), SIGSTOP), 0);
    const ProgramRun broken = home.cli({"status"});
    EXPECT_NE(lineOf(broken, "Projects").find("(disconnected)"), std::string::npos);
    EXPECT_NE(lineOf(broken, "Admin").find("(mount stopped)"), std::string::npos);

    const ProgramRun repair = home.desk({"reconnect"});  // nothing typed
    EXPECT_EQ(repair.status(), 0) << repair.out() << repair.err();
    EXPECT_EQ(repair.lastLine(), "Reconnected 2 share(s).");
    EXPECT_EQ(readFile(projects + "/welcome.txt"), "Welcome to Projects\n");
    char buffer[64];
    EXPECT_LT(::pread(held, buffer, sizeof buffer, 0), 0);  // never the new mount's data
    ::close(held);
    const ProgramRun status = home.cli({"status"});
    EXPECT_EQ(status.out().find("  ("), std::string::npos) << status.out();
    EXPECT_NE(lineOf(status, "Projects").find("smb://QUORVANE;bob@"), std::string::npos);
    EXPECT_EQ(home.cli({"reconnect"}, "").lastLine(),
              "Every mounted share works; nothing to reconnect.");
    EXPECT_EQ(home.desk({"logout"}).status(), 0);
    EXPECT_TRUE(home.mountsBelow().empty());
    EXPECT_FALSE(home.keptSecret());
}

// The password changed on the server: status says so. A wrong password reaches no daemon and
// is not kept; the new one is handed to the running daemons, so the shares work again without
// a remount (a held file included: RepairTest); kept, it repairs without typing.
TEST_F(HealthTest, ANewPasswordReachesTheRunningDaemonsAndIsKeptForReconnect) {
    TempHome home;
    const std::vector<std::string> logon = {"logon",  "--server", domain().server(),
                                            "--user", "bob",      "--remember-password"};
    const std::string old = domain().user("bob").password;
    ASSERT_EQ(home.desk({logon.begin(), logon.end() - 1}, old).status(), 0);
    EXPECT_FALSE(home.keptSecret());  // not asked for
    const std::string changed = "N3w pass:word@%";
    ASSERT_TRUE(domain().setPassword("bob", changed));
    EXPECT_NE(lineOf(home.cli({"status"}), "bob").find("(password no longer accepted)"),
              std::string::npos);

    EXPECT_NE(home.desk(logon, "not the password").status(), 0);
    EXPECT_FALSE(home.keptSecret());
    const ProgramRun again = home.desk(logon, changed);
    EXPECT_EQ(again.status(), 0) << again.out() << again.err();
    EXPECT_EQ(again.out().find("Releasing it"), std::string::npos) << again.out();
    EXPECT_EQ(home.cli({"status"}).out().find("  ("), std::string::npos);
    EXPECT_NE(home.keptSecret().value_or("").find("\n" + changed), std::string::npos);

    // The daemons log on with the new password from now on, and so does reconnect.
    const std::string projects = home.mountRoot() + "/Projects";
    ASSERT_EQ(::kill(daemonOf(projects), SIGKILL), 0);
    ASSERT_TRUE(waitForNoDaemon(projects));
    const ProgramRun repair = home.desk({"reconnect"});
    EXPECT_EQ(repair.lastLine(), "Reconnected 1 share(s).") << repair.out() << repair.err();
    EXPECT_EQ(readFile(home.mountRoot() + "/Projects/welcome.txt"), "Welcome to Projects\n");

    // A kept password that the server refuses is forgotten, not tried again and again.
    EXPECT_TRUE(domain().setPassword("bob", old));
    EXPECT_NE(home.desk({"reconnect"}).status(), 0);
    EXPECT_FALSE(home.keptSecret());
    EXPECT_EQ(home.cli({"logout"}).status(), 0);
}

// Last: it stops the server.
TEST_F(HealthTest, StatusNamesEachSharesCauseAllAtOnceWithinOneBound) {
    TempHome home;
    const std::string root = home.mountRoot();
    ASSERT_EQ(logon(home, "alice").status(), 0);
    ASSERT_EQ(::mkdir((root + "/Plain").c_str(), 0700), 0);
    ASSERT_EQ(::kill(daemonOf(root + "/Projects"), SIGKILL), 0);
    ASSERT_TRUE(waitForNoDaemon(root + "/Projects"));
    const int frozen = daemonOf(root + "/Science");
    ASSERT_EQ(::kill(frozen, SIGSTOP), 0);

    const struct {
        const char* share;
        const char* cause;  // empty: answering, no cause shown
    } before[] = {{"alice", ""},
                  {"Media", ""},
                  {"Projects", "(disconnected)"},
                  {"Science", "(mount stopped)"},
                  {"Plain", "(not mounted)"}};
    const ProgramRun status = home.cli({"status"});
    for (const auto& row : before) {
        const std::string line = lineOf(status, row.share);
        ASSERT_FALSE(line.empty()) << row.share << "\n" << status.out();
        if (*row.cause == '\0') {
            EXPECT_EQ(line.find('('), std::string::npos) << line;
        } else {
            EXPECT_NE(line.find(row.cause), std::string::npos) << line;
        }
    }

    // A server that takes connections and then says nothing (frozen), and one that is gone.
    for (const bool frozen : {true, false}) {
        const std::vector<pid_t> server = domain().serverProcesses();
        if (frozen) {
            for (pid_t pid : server) {
                ::kill(pid, SIGSTOP);
            }
        } else {
            domain().stop();
        }
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun gone = home.cli({"status"});
        const auto took = std::chrono::steady_clock::now() - started;
        std::cout << "[ figures  ] status of 6 shares, server " << (frozen ? "frozen" : "stopped")
                  << ": " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                  << " ms" << std::endl;
        EXPECT_LT(took, std::chrono::seconds(8));  // one bound for all, not one per share
        for (const char* share : {"alice", "Media", "Staff Public", "Year10"}) {
            EXPECT_NE(lineOf(gone, share).find("(server not answering)"), std::string::npos)
                << gone.out();
        }
        for (pid_t pid : server) {
            ::kill(pid, SIGCONT);
        }
    }
    // Nothing of the probes stays behind to keep a share busy.
    ::kill(frozen, SIGCONT);
    const ProgramRun logout = home.cli({"logout"});
    EXPECT_EQ(logout.status(), 0) << logout.out();
    EXPECT_TRUE(home.mountsBelow().empty());
}

}  // namespace
}  // namespace quorvane::testing
