// mount_smbfs and umount against the private domain's smbd, with real FUSE mounts.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "DomainFixture.h"
#include "MountTable.h"
#include "ProcessRunner.h"
#include "SmbUrl.h"
#include "ToolProcess.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

class MountToolTest : public DomainTest {
protected:
    std::string mountTool() const { return toolsFolder() + "/mount_smbfs"; }
    std::string umountTool() const { return toolsFolder() + "/umount"; }

    std::string url(const std::string& user, const std::string& share,
                    const std::optional<std::string>& password = std::nullopt,
                    const std::string& server = "") {
        return buildSmbUrl(user, password ? &*password : nullptr,
                           server.empty() ? domain().server() : server, share);
    }
    ProgramRun mount(const TempHome& home, const std::vector<std::string>& arguments,
                     const std::optional<std::string>& input) {
        return runProgram(mountTool(), arguments, home.environment(), input, 60s);
    }
    ProgramRun umount(const TempHome& home, const std::string& mountPoint) {
        return runProgram(umountTool(), {mountPoint}, home.environment(), std::nullopt, 60s);
    }
    std::string folderIn(const TempHome& home, const std::string& name) {
        const std::string path = home.path() + "/" + name;
        ::mkdir(path.c_str(), 0755);
        return path;
    }
};

// Waits (up to 5 s) until process `pid` has a handler for `signalNumber`, as its status in
// /proc says.
void waitUntilCatching(pid_t pid, int signalNumber) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string status = readFile(path);
        const size_t at = status.find("SigCgt:\t");
        if (at != std::string::npos &&
            (std::stoull(status.substr(at + 8, 16), nullptr, 16) >> (signalNumber - 1) & 1) != 0) {
            return;
        }
        std::this_thread::sleep_for(200us);
    }
}

// A WINS server for one NetBIOS name, on 127.0.0.1:137: it answers name queries for `name`
// with 127.0.0.1 and counts the queries it saw. Binding port 137 needs root.
class WinsServer {
public:
    explicit WinsServer(const std::string& name) : name_(name) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(137);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error_ = std::string("cannot bind 127.0.0.1:137: ") + ::strerror(errno);
            return;
        }
        timeval wait{0, 100000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        thread_ = std::thread([this] { serve(); });
    }
    ~WinsServer() {
        done_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(fd_);
    }
    const std::string& error() const { return error_; }
    int queries() const { return queries_; }

private:
    // The 16-byte NetBIOS name (padded with blanks, last byte the suffix) in the "first
    // level encoding": each half-byte becomes a letter from 'A'.
    static std::string decodedName(const unsigned char* encoded) {
        std::string name;
        for (int i = 0; i < 15; ++i) {
            name += static_cast<char>(((encoded[2 * i] - 'A') << 4) | (encoded[2 * i + 1] - 'A'));
        }
        return name.substr(0, name.find_last_not_of(' ') + 1);
    }
    void serve() {
        while (!done_) {
            unsigned char packet[576];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, packet, sizeof packet, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            // Header (12), then a 32-letter name behind its length byte and a 0 byte.
            if (n < 12 + 34 + 4 || packet[12] != 32 || (packet[2] & 0x80) != 0) {
                continue;
            }
            ++queries_;
            if (decodedName(packet + 13) != name_) {
                continue;
            }
            std::string reply(reinterpret_cast<char*>(packet), 12 + 34);
            reply[2] = static_cast<char>(0x85);  // a response, authoritative
            reply[3] = static_cast<char>(0x80);
            reply[4] = reply[5] = 0;  // no question
            reply[6] = 0;
            reply[7] = 1;                                          // one answer
            const unsigned char tail[] = {0x00, 0x20, 0x00, 0x01,  // NB, IN
                                          0x00, 0x00, 0x01, 0x2c,  // TTL 300 s
                                          0x00, 0x06, 0x00, 0x00,  // 6 bytes: flags,
                                          127,  0,    0,    1};    // address
            reply.append(reinterpret_cast<const char*>(tail), sizeof tail);
            ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     length);
        }
    }

    std::string name_;
    std::string error_;
    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::atomic<int> queries_{0};
    std::thread thread_;
};

TEST_F(MountToolTest, EachFailureIsToldApartAndLeavesNothing) {
    TempHome home;
    const std::string alicePassword = domain().user("alice").password;
    const FakeServer refusing(FakeServer::Kind::Refusing);
    const std::string unreachable = refusing.server();
    struct Case {
        const char* name;
        std::string url;
        std::string password;
        const char* mountPointKind;  // "folder", "missing", "file", "full"
        int status;
        std::string errorPart;
    };
    const Case cases[] = {
        {"wrong password", url("alice", "alice"), "wrong", "folder", 4,
         "wrong user name or password for alice"},
        {"unknown share", url("alice", "Nosuch"), alicePassword, "folder", 5,
         "no share named \"Nosuch\""},
        {"forbidden share", url("alice", "Admin"), alicePassword, "folder", 5,
         "alice may not use the share \"Admin\""},
        {"unreachable server", url("alice", "alice", std::nullopt, unreachable), alicePassword,
         "folder", 6, "cannot reach the server " + unreachable},
        {"bad URL", "smb://alice@/alice", alicePassword, "folder", 2, "bad URL"},
        {"missing mount point", url("alice", "alice"), alicePassword, "missing", 3,
         "does not exist"},
        {"mount point is a file", url("alice", "alice"), alicePassword, "file", 3,
         "is not a folder"},
        {"mount point not empty", url("alice", "alice"), alicePassword, "full", 3, "is not empty"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string mountPoint = home.path() + "/mp" + std::to_string(index++);
        const std::string kind = c.mountPointKind;
        if (kind == "folder" || kind == "full") {
            ::mkdir(mountPoint.c_str(), 0755);
        }
        if (kind == "full") {
            writeFile(mountPoint + "/mine.txt", "mine\n");
        }
        if (kind == "file") {
            writeFile(mountPoint, "a file\n");
        }
        const ProgramRun run = mount(home, {"-f", "777", c.url, mountPoint}, c.password);
        EXPECT_EQ(run.status(), c.status) << run.err();
        EXPECT_EQ(std::count(run.err().begin(), run.err().end(), '\n'), 1) << run.err();
        EXPECT_NE(run.err().find(c.errorPart), std::string::npos) << run.err();
        EXPECT_EQ(run.err().find(alicePassword), std::string::npos);
        EXPECT_FALSE(isMounted(mountPoint));
        EXPECT_LT(daemonOf(mountPoint), 0);
        if (kind == "full") {
            EXPECT_EQ(readFile(mountPoint + "/mine.txt"), "mine\n");
        }
    }
    EXPECT_TRUE(home.mountsBelow().empty());
}

// What the real server adds: a share alice may not use and a home share that no listing
// shows are there all the same; only a name the server lacks is absent.
TEST_F(MountToolTest, CheckTellsWhichSharesTheServerHasWithOneLogon) {
    TempHome home;
    const std::string password = domain().user("alice").password;
    const std::vector<std::string> arguments{"--check", url("alice", "Science"),
                                             url("alice", "Admin"), url("alice", "alice"),
                                             url("alice", "Nosuch")};
    const ProgramRun run = mount(home, arguments, password);
    EXPECT_EQ(run.status(), 0) << run.err();
    EXPECT_EQ(run.out(), "present\npresent\npresent\nabsent\n");
    const ProgramRun refused = mount(home, arguments, "wrong");
    EXPECT_EQ(refused.status(), 4) << refused.err();
    EXPECT_EQ(refused.out(), "");
}

TEST_F(MountToolTest, TakesThePasswordFromTheUrlOrStandardInput) {
    TempHome home;
    const std::string password = domain().user("alice").password;
    struct Case {
        const char* name;
        std::string url;
        std::optional<std::string> input;
    };
    const Case cases[] = {
        {"in the URL, percent-encoded", url("alice", "alice", password), std::nullopt},
        {"on standard input, bare", url("alice", "alice"), password},
        {"on standard input, with a line feed", url("alice", "alice"), password + "\n"},
    };
    const std::string mountPoint = folderIn(home, "alice");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun run = mount(home, {"-f", "777", c.url, mountPoint}, c.input);
        ASSERT_EQ(run.status(), 0) << run.err();
        EXPECT_TRUE(isMounted(mountPoint));
        EXPECT_EQ(readFile(mountPoint + "/readme.txt"), "Home of alice\n");
        // The daemon names the mount without the password, wherever it was given.
        const int daemon = daemonOf(mountPoint);
        ASSERT_GT(daemon, 0);
        const std::string proc = "/proc/" + std::to_string(daemon);
        for (const std::string& form : {password, percentEncodeUserInfo(password)}) {
            EXPECT_EQ(readFile(proc + "/cmdline").find(form), std::string::npos);
            EXPECT_EQ(readFile(proc + "/environ").find(form), std::string::npos);
        }
        // A second mount on the same folder is refused, the first one stays.
        const ProgramRun again = mount(home, {"-f", "777", c.url, mountPoint}, c.input);
        EXPECT_EQ(again.status(), 3);
        EXPECT_NE(again.err().find("busy"), std::string::npos) << again.err();
        EXPECT_EQ(readFile(mountPoint + "/readme.txt"), "Home of alice\n");
        // Nor is a mount released while a program holds a file there.
        const int held = ::open((mountPoint + "/readme.txt").c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_NE(umount(home, mountPoint).status(), 0);
        EXPECT_TRUE(isMounted(mountPoint));
        ::close(held);

        const ProgramRun released = umount(home, mountPoint);
        EXPECT_EQ(released.status(), 0) << released.err();
        EXPECT_FALSE(isMounted(mountPoint));
        EXPECT_TRUE(waitForNoDaemon(mountPoint));
    }
}

TEST_F(MountToolTest, ABareNetBiosNameResolvesThroughWins) {
    WinsServer wins("QVTESTDC");
    if (!wins.error().empty()) {
        GTEST_SKIP() << wins.error();
    }
    TempHome home;
    // A client configuration of this run only: the system's smb.conf is not touched, and
    // the library's caches (which remember a WINS server that did not answer) are its own.
    const std::string configuration = home.path() + "/client.conf";
    const std::string state = home.path() + "/samba";
    ::mkdir(state.c_str(), 0700);
    ASSERT_TRUE(writeFile(configuration,
                          "[global]\n"
                          "    name resolve order = wins\n"
                          "    wins server = 127.0.0.1\n"
                          "    cache directory = " +
                              state +
                              "\n"
                              "    lock directory = " +
                              state +
                              "\n"
                              "    state directory = " +
                              state + "\n"));
    std::map<std::string, std::string> environment = home.environment();
    environment["QUORVANE_SMB_CLIENT_CONF"] = configuration;
    const std::string mountPoint = folderIn(home, "alice");
    const std::string port = std::to_string(domain().port());
    const std::string password = domain().user("alice").password;

    const ProgramRun mounted = runProgram(
        mountTool(),
        {"-f", "777", buildSmbUrl("alice", nullptr, "QVTESTDC:" + port, "alice"), mountPoint},
        environment, password, 30s);
    EXPECT_GE(wins.queries(), 1);
    ASSERT_EQ(mounted.status(), 0) << mounted.err();
    EXPECT_EQ(readFile(mountPoint + "/readme.txt"), "Home of alice\n");
    EXPECT_EQ(mountAt(mountPoint)->source, "smb://alice@QVTESTDC:" + port + "/alice");
    EXPECT_EQ(umount(home, mountPoint).status(), 0);

    const ProgramRun unknown = runProgram(
        mountTool(),
        {"-f", "777", buildSmbUrl("alice", nullptr, "NOSUCHFS:" + port, "alice"), mountPoint},
        environment, password, 30s);
    EXPECT_EQ(unknown.status(), 6);
    EXPECT_NE(unknown.err().find("server not found"), std::string::npos) << unknown.err();
}

TEST_F(MountToolTest, RefusedFuseIsNamedWithItsFix) {
    // A user who may not open /dev/fuse (mode 0600 here, as on many servers).
    struct stat device {};
    const std::string setpriv = tools::findProgram("setpriv");
    if (::geteuid() != 0 || setpriv.empty() || ::stat("/dev/fuse", &device) != 0 ||
        (device.st_mode & 0006) == 0006) {
        GTEST_SKIP() << "needs root, setpriv and a /dev/fuse that other users cannot open";
    }
    char folder[] = "/tmp/quorvane-nofuse-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    ::chmod(folder, 0777);
    const std::string mountPoint = std::string(folder) + "/alice";
    ::mkdir(mountPoint.c_str(), 0777);
    const ProgramRun run = runProgram(setpriv,
                                      {"--reuid=65534", "--regid=65534", "--clear-groups",
                                       mountTool(), "-f", "777", url("alice", "alice"), mountPoint},
                                      {{"HOME", folder}}, domain().user("alice").password, 30s);
    ::rmdir(mountPoint.c_str());
    ::rmdir(folder);
    EXPECT_EQ(run.status(), 7) << run.err();
    EXPECT_EQ(std::count(run.err().begin(), run.err().end(), '\n'), 1) << run.err();
    EXPECT_NE(run.err().find("FUSE is not permitted: /dev/fuse cannot be opened"),
              std::string::npos)
        << run.err();
    EXPECT_NE(run.err().find("chmod 0666 /dev/fuse"), std::string::npos) << run.err();
}

// The modes the options give (MountArguments' table) are what the mounted files show.
TEST_F(MountToolTest, FilesAndFoldersGetTheModeAsked) {
    TempHome home;
    const std::string mountPoint = folderIn(home, "Projects");
    ASSERT_EQ(mount(home, {"-f", "640", url("bob", "Projects"), mountPoint},
                    domain().user("bob").password)
                  .status(),
              0);
    struct stat file {};
    struct stat folder {};
    EXPECT_EQ(::stat((mountPoint + "/welcome.txt").c_str(), &file), 0);
    EXPECT_EQ(::stat(mountPoint.c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0640u);
    EXPECT_EQ(folder.st_mode & 0777, 0750u);
    EXPECT_EQ(umount(home, mountPoint).status(), 0);
}

TEST_F(MountToolTest, AnInterruptedMountLeavesNothingBehind) {
    TempHome home;
    const std::string mountPoint = folderIn(home, "alice");
    const std::string withPassword = url("alice", "alice", domain().user("alice").password);
    const std::vector<std::string> arguments = {"-f", "777", withPassword, mountPoint};
    // The signal comes at points spread over one whole mount, timed on this machine now
    // from the moment the tool takes stop signals itself (loading it takes a while).
    using Clock = std::chrono::steady_clock;
    Clock::time_point catching;
    const ProgramRun first =
        runProgram(mountTool(), arguments, home.environment(), std::nullopt, 60s, [&](pid_t pid) {
            waitUntilCatching(pid, SIGTERM);
            catching = Clock::now();
        });
    ASSERT_EQ(first.status(), 0) << first.err();
    const auto window = Clock::now() - catching;
    ASSERT_EQ(umount(home, mountPoint).status(), 0);
    int interrupted = 0;
    for (int percent : {-1, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 150}) {
        SCOPED_TRACE(percent);
        const ProgramRun run = runProgram(
            mountTool(), arguments, home.environment(), std::nullopt, 60s, [&](pid_t pid) {
                if (percent >= 0) {
                    waitUntilCatching(pid, SIGTERM);
                    std::this_thread::sleep_for(window * percent / 100);
                }
                ::kill(pid, SIGTERM);
            });
        ASSERT_NE(run.result.outcome, ProcessResult::Outcome::CouldNotStart) << run.result.error;
        if (run.result.outcome == ProcessResult::Outcome::Signalled) {
            // Ended before it could take the signal itself: it had not started anything.
            EXPECT_EQ(run.result.signal, SIGTERM);
        } else if (run.status() == 0) {
            // It had finished before the signal came: a whole mount, released here.
            EXPECT_TRUE(isMounted(mountPoint));
            EXPECT_EQ(umount(home, mountPoint).status(), 0);
        } else {
            ++interrupted;
            EXPECT_EQ(run.status(), 128 + SIGTERM) << run.err();
        }
        EXPECT_FALSE(isMounted(mountPoint));
        EXPECT_TRUE(waitForNoDaemon(mountPoint));
    }
    EXPECT_GE(interrupted, 3);
    EXPECT_TRUE(home.mountsBelow().empty());
}

// Last: it stops the server.
TEST_F(MountToolTest, UmountDoesNotHangWhenTheServerIsGone) {
    TestDomain& doomed = domain();
    TempHome home;
    const std::string mountPoint = folderIn(home, "carol");
    const std::string carolUrl = buildSmbUrl("carol", nullptr, doomed.server(), "carol");
    ASSERT_EQ(
        mount(home, {"-f", "777", carolUrl, mountPoint}, doomed.user("carol").password).status(),
        0);
    doomed.stop();

    const auto started = std::chrono::steady_clock::now();
    const ProgramRun released = umount(home, mountPoint);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::cout << "[ figures  ] umount with the server gone: " << took.count() << " ms" << std::endl;
    EXPECT_EQ(released.result.outcome, ProcessResult::Outcome::Exited);
    EXPECT_EQ(released.status(), 0) << released.err();
    EXPECT_FALSE(isMounted(mountPoint));
    EXPECT_TRUE(waitForNoDaemon(mountPoint));
}

}  // namespace
}  // namespace quorvane::testing
