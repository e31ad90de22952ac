// The whole logon and logout through the command line, against the private domain's smbd
// with real FUSE mounts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "DomainFixture.h"
#include "MountTable.h"
#include "SmbUrl.h"

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
    EXPECT_EQ(logout.lastLine(), "Successfully disconnected 6 drive(s).");
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

TEST_F(LogonTest, HostileShareNamesMountNothingOutsideTheMountRoot) {
    // mallory's group is named only by the lines "", ".", "..", "a/b" and "../x".
    TempHome home;
    const ProgramRun run = logon(home, "mallory");
    EXPECT_EQ(run.status(), 0) << run.out() << run.err();
    EXPECT_EQ(run.lastLine(), kFinished);
    EXPECT_EQ(home.mountRootEntries(), std::vector<std::string>{"mallory"});
    for (const MountEntry& entry : mountsOfThisServer()) {
        EXPECT_EQ(entry.mountPoint, home.mountRoot() + "/mallory");
    }
    struct stat info {};
    EXPECT_NE(::lstat((home.path() + "/x").c_str(), &info), 0);
    EXPECT_NE(::lstat((home.mountRoot() + "/a").c_str(), &info), 0);
    EXPECT_FALSE(isMounted(home.mountRoot()));
    EXPECT_EQ(run.out().find("criteria for ../x"), std::string::npos) << run.out();

    EXPECT_EQ(home.cli({"logout"}).lastLine(), "Successfully disconnected 1 drive(s).");
}

TEST_F(LogonTest, LogoutKeepsAShareThatIsInUse) {
    TempHome home;
    const std::string root = home.mountRoot();
    ASSERT_EQ(logon(home, "bob").status(), 0);
    const std::vector<std::string> expected = {"Admin", "Projects", "Staff Public", "bob"};
    ASSERT_EQ(home.mountRootEntries(), expected);

    std::optional<ProcessInFolder> user(root + "/bob");
    ASSERT_GT(user->pid(), 0);
    const ProgramRun logout = home.cli({"logout"});
    user.reset();
    // Not a success: the busy share is named, and the command fails.
    EXPECT_EQ(logout.status(), 1);
    EXPECT_EQ(logout.lastLine(), "Disconnected 3 of 4 drive(s); still in use: bob.");
    EXPECT_NE(logout.err().find("target is busy"), std::string::npos) << logout.err();
    // The busy share: still mounted, its folder and the server's files untouched.
    EXPECT_EQ(home.mountRootEntries(), std::vector<std::string>{"bob"});
    EXPECT_TRUE(isMounted(root + "/bob"));
    EXPECT_EQ(readFile(domain().serverPath("bob") + "/readme.txt"), "Home of bob\n");
    EXPECT_FALSE(readFile(domain().serverPath("bob") + "/mac.bat").empty());
    EXPECT_EQ(readFile(root + "/bob/readme.txt"), "Home of bob\n");

    const ProgramRun again = home.cli({"logout"});
    EXPECT_EQ(again.lastLine(), "Successfully disconnected 1 drive(s).");
    EXPECT_TRUE(home.mountRootEntries().empty());
    EXPECT_TRUE(home.mountsBelow().empty());
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
        ASSERT_EQ(logon(home, "bob").status(), 0);
        const int daemon = daemonOf(projects);
        ASSERT_GT(daemon, 0);
        ASSERT_EQ(::kill(daemon, c.signalNumber), 0);
        if (c.signalNumber == SIGKILL) {
            ASSERT_TRUE(waitForNoDaemon(projects));
        }
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
        ::kill(daemon, SIGKILL);
        EXPECT_EQ(logout.result.outcome, ProcessResult::Outcome::Exited);
        EXPECT_EQ(logout.lastLine(), "Successfully disconnected 4 drive(s).");
        EXPECT_TRUE(home.mountsBelow().empty());
        EXPECT_TRUE(home.mountRootEntries().empty());
        EXPECT_EQ(readFile(domain().serverPath("Projects") + "/welcome.txt"),
                  "Welcome to Projects\n");
    }
}

TEST_F(LogonTest, ADeadMountIsReportedAndMountedAfreshAtTheNextLogon) {
    TempHome home;
    const std::string projects = home.mountRoot() + "/Projects";
    ASSERT_EQ(logon(home, "bob").status(), 0);
    const int daemon = daemonOf(projects);
    ASSERT_GT(daemon, 0);
    ASSERT_EQ(::kill(daemon, SIGKILL), 0);
    ASSERT_TRUE(waitForNoDaemon(projects));

    const ProgramRun status = home.cli({"status"});
    EXPECT_NE(status.out().find("/Projects  (mount gone)"), std::string::npos) << status.out();

    const ProgramRun again = logon(home, "bob");
    EXPECT_EQ(again.status(), 0) << again.out() << again.err();
    EXPECT_NE(again.out().find("Projects is mounted but does not work (mount gone). Releasing it "
                               "to mount it again."),
              std::string::npos)
        << again.out();
    EXPECT_EQ(readFile(projects + "/welcome.txt"), "Welcome to Projects\n");
    EXPECT_EQ(home.cli({"logout"}).status(), 0);
    EXPECT_TRUE(home.mountsBelow().empty());
}

TEST_F(LogonTest, AnotherUsersSharesStopALogonUntilTheyAreReleased) {
    TempHome home;
    ASSERT_EQ(logon(home, "bob").status(), 0);
    const ProgramRun alice = logon(home, "alice");
    EXPECT_EQ(alice.status(), 1);
    EXPECT_EQ(alice.lastLine(),
              "Shares of user bob are still mounted under ~/smbmounts/. Log out first, then log "
              "on again.");
    EXPECT_FALSE(isMounted(home.mountRoot() + "/alice"));
    EXPECT_EQ(home.mountsBelow().size(), 4u);  // bob's, untouched

    ASSERT_EQ(home.cli({"logout"}).status(), 0);
    EXPECT_EQ(logon(home, "alice").status(), 0);
    EXPECT_EQ(home.cli({"logout"}).status(), 0);
}

// The desktop session ends: the tray program logs out before it goes.
TEST_F(LogonTest, TheEndOfTheSessionReleasesEveryShare) {
    TempHome home;
    ASSERT_EQ(logon(home, "bob").status(), 0);
    ASSERT_EQ(home.mountsBelow().size(), 4u);
    std::map<std::string, std::string> environment = home.environment();
    const std::string runtime = home.path() + "/runtime";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    environment["XDG_RUNTIME_DIR"] = runtime;
    environment["QT_QPA_PLATFORM"] = "offscreen";
    std::atomic<pid_t> pid{0};
    ProgramRun program;
    std::thread running([&] {
        program = runProgram(buildFolder() + "/bin/quorvane", {}, environment, std::nullopt,
                             std::chrono::seconds(60), [&](pid_t started) { pid = started; });
    });
    ASSERT_TRUE(eventually([&] { return pid.load() > 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // up and idle
    const auto ending = std::chrono::steady_clock::now();
    ::kill(pid.load(), SIGTERM);
    running.join();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - ending);
    std::cout << "[ figures  ] session end with 4 shares: logged out and gone in " << took.count()
              << " ms" << std::endl;
    EXPECT_EQ(program.result.outcome, ProcessResult::Outcome::Exited) << program.err();
    EXPECT_NE(program.out().find("Successfully disconnected 4 drive(s)."), std::string::npos)
        << program.out() << program.err();
    EXPECT_TRUE(home.mountsBelow().empty());
    EXPECT_TRUE(home.mountRootEntries().empty());
}

// Every process whose argument list names a folder of this home serves a live mount there.
std::vector<std::string> strayProcesses(const TempHome& home) {
    std::vector<std::string> strays;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = proc ? ::readdir(proc) : nullptr) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        std::string commandLine = readFile(std::string("/proc/") + entry->d_name + "/cmdline");
        if (commandLine.find(home.mountRoot() + "/") == std::string::npos) {
            continue;
        }
        bool servesAMount = false;
        size_t start = 0;
        while (start < commandLine.size()) {
            const size_t end = commandLine.find('\0', start);
            const std::string argument = commandLine.substr(start, end - start);
            servesAMount = servesAMount ||
                           (argument.rfind(home.mountRoot() + "/", 0) == 0 && isMounted(argument));
            start = end == std::string::npos ? commandLine.size() : end + 1;
        }
        if (!servesAMount) {
            std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
            strays.push_back(commandLine);
        }
    }
    if (proc) {
        ::closedir(proc);
    }
    return strays;
}

// Ctrl-C at twenty points of a real logon: the running tool takes back its half-made mount,
// the program says so in one line and exits 130, and what was mounted before stays mounted.
TEST_F(LogonTest, AnInterruptedLogonLeavesNoHalfMadeMountNorStrayProcess) {
    TempHome timing;
    const auto begun = std::chrono::steady_clock::now();
    ASSERT_EQ(logon(timing, "bob").status(), 0);
    const auto whole = std::chrono::steady_clock::now() - begun;
    ASSERT_EQ(timing.cli({"logout"}).status(), 0);

    int interrupted = 0;
    for (int point = 0; point < 20; ++point) {
        SCOPED_TRACE("point " + std::to_string(point));
        TempHome home;
        const auto delay = whole * point / 13;  // up to half as long again as a logon
        std::atomic<pid_t> pid{0};
        ProgramRun run;
        std::thread runner([&] {
            run = runProgram(buildFolder() + "/bin/quorvane-cli",
                             {"logon", "--server", domain().server(), "--user", "bob"},
                             home.environment(), domain().user("bob").password,
                             std::chrono::seconds(120), [&](pid_t started) { pid = started; });
        });
        ASSERT_TRUE(eventually([&] { return pid.load() > 0; }));
        std::this_thread::sleep_for(delay);
        ::kill(pid.load(), SIGINT);
        runner.join();
        // Before the logon begins or after it has ended, Ctrl-C ends the program as it ends any
        // other: what counts is what it leaves behind.
        if (run.result.outcome == ProcessResult::Outcome::Signalled) {
            EXPECT_EQ(run.result.signal, SIGINT);
        } else if (run.status() == 130) {
            ++interrupted;
            EXPECT_EQ(run.lastLine(),
                      "quorvane: logon stopped by signal 2; shares mounted before stay mounted.");
        } else {
            EXPECT_EQ(run.result.outcome, ProcessResult::Outcome::Exited) << run.err();
            EXPECT_EQ(run.status(), 0) << run.out() << run.err();
        }
        // Every folder is a mount or gone; nothing runs that serves no mount.
        for (const std::string& name : home.mountRootEntries()) {
            EXPECT_TRUE(isMounted(home.mountRoot() + "/" + name)) << name;
        }
        EXPECT_TRUE(
            eventually([&] { return strayProcesses(home).empty(); }, std::chrono::seconds(5)))
            << ::testing::PrintToString(strayProcesses(home));
        const ProgramRun status = home.cli({"status"});
        EXPECT_EQ(status.out().find("not responding"), std::string::npos)
            << status.out() << run.out() << run.err();
        EXPECT_EQ(home.cli({"logout"}).status(), 0);
        EXPECT_TRUE(home.mountsBelow().empty());
    }
    std::cout << "[ figures  ] interrupted " << interrupted << " of 20 logons" << std::endl;
    EXPECT_GT(interrupted, 0);
}

// Scans every process's argument list and environment while a logon and a logout run.
class ProcessWatcher {
public:
    explicit ProcessWatcher(std::vector<std::string> secrets) : secrets_(std::move(secrets)) {
        thread_ = std::thread([this] {
            while (!done_) {
                scan();
            }
        });
    }
    ~ProcessWatcher() { finish(); }
    void finish() {
        done_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::vector<std::string> leaks;
    int scans = 0;
    bool sawMountTool = false;
    bool sawDaemon = false;

private:
    void scan() {
        ++scans;
        for (int pid : allPids()) {
            const std::string base = "/proc/" + std::to_string(pid);
            const std::string cmdline = readFile(base + "/cmdline");
            sawMountTool = sawMountTool || cmdline.find("mount_smbfs") != std::string::npos;
            sawDaemon = sawDaemon || cmdline.find("--serve") != std::string::npos;
            const std::string environ = readFile(base + "/environ");
            for (const std::string& secret : secrets_) {
                if (cmdline.find(secret) != std::string::npos) {
                    leaks.push_back("argv of " + std::to_string(pid) + ": " + cmdline);
                }
                if (environ.find(secret) != std::string::npos) {
                    leaks.push_back("environment of " + std::to_string(pid));
                }
            }
        }
    }
    static std::vector<int> allPids() {
        std::vector<int> pids;
        DIR* proc = ::opendir("/proc");
        while (const dirent* entry = proc ? ::readdir(proc) : nullptr) {
            const std::string name = entry->d_name;
            if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
                pids.push_back(std::stoi(name));
            }
        }
        if (proc) {
            ::closedir(proc);
        }
        return pids;
    }

    std::vector<std::string> secrets_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST_F(LogonTest, PasswordIsOnNoArgumentListAndNeverPrinted) {
    TempHome home;
    const std::string password = domain().user("bob").password;
    const std::vector<std::string> forms = {password, percentEncodeUserInfo(password)};
    ProcessWatcher watcher(forms);
    const ProgramRun run = logon(home, "bob");
    const ProgramRun logout = home.cli({"logout"});
    watcher.finish();
    std::cout << "[ figures  ] " << watcher.scans << " scans of every process's argv" << std::endl;

    EXPECT_EQ(run.status(), 0) << run.err();
    EXPECT_TRUE(watcher.sawMountTool);  // the watcher did see the logon's processes
    EXPECT_TRUE(watcher.sawDaemon);
    EXPECT_TRUE(watcher.leaks.empty()) << watcher.leaks.front();
    for (const std::string& form : forms) {
        for (const ProgramRun* r : {&run, &logout}) {
            EXPECT_EQ(r->out().find(form), std::string::npos);
            EXPECT_EQ(r->err().find(form), std::string::npos);
        }
    }
    // Nor in anything written below the home.
    const ProgramRun grep =
        runProgram("/bin/grep", {"-rlF", "--", password, home.path()}, {}, std::nullopt);
    EXPECT_EQ(grep.out(), "");
}

}  // namespace
}  // namespace quorvane::testing

namespace quorvane::testing {
namespace {

// The built programs as installed: they look for the tools beside themselves, bin/ and
// libexec/quorvane/, in the build tree and in an installed copy alike; the program with the
// panel hands its arguments to the same command line.
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
