// Writes on a real mount while the server drops its sessions or answers late, and a reader
// beside a program that truncates and appends: every write is told truly (all of it or an
// error), the server holds what was acknowledged, and readers see only what the file held.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "MountedShare.h"
#include "SmbClient.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The server processes that serve connections (the children of the main smbd that keep its
// name; its helpers smbd-notifyd and cleanupd rename themselves): ending one drops the
// sessions on its connection.
std::vector<pid_t> connectionServers(const TestDomain& domain) {
    const std::vector<pid_t> all = domain.serverProcesses();
    const std::set<pid_t> servers(all.begin(), all.end());
    std::vector<pid_t> children;
    for (pid_t pid : all) {
        if (readFile("/proc/" + std::to_string(pid) + "/comm") != "smbd\n") {
            continue;
        }
        for (const std::string& line :
             splitLines(readFile("/proc/" + std::to_string(pid) + "/status"))) {
            if (line.rfind("PPid:", 0) == 0 && servers.count(std::stoi(line.substr(5))) != 0) {
                children.push_back(pid);
            }
        }
    }
    return children;
}

// What a write of `size` bytes was told: "whole", "short", or the error's name.
std::string outcomeOf(ssize_t written, size_t size) {
    return written == static_cast<ssize_t>(size) ? "whole"
           : written < 0                         ? strerrorname_np(errno)
                                                 : "short";
}

// Appends the lines "TAG 0" to "TAG COUNT-1" through `fd`, one write each; the lines written
// whole, and in `outcomes` how each write went.
std::string appendLines(int fd, const std::string& tag, int count,
                        std::map<std::string, int>& outcomes) {
    std::string whole;
    for (int i = 0; i < count; ++i) {
        const std::string line = tag + " " + std::to_string(i) + "\n";
        const std::string outcome = outcomeOf(::write(fd, line.data(), line.size()), line.size());
        whole += outcome == "whole" ? line : "";
        ++outcomes[outcome];
    }
    return whole;
}

class MountWritesTest : public DomainTest {};

// A program that writes 300,000 bytes at a time while the server drops every session now and
// then. The writes start inside a page, which the kernel sends as a request of its own before
// the rest: a rest that failed would leave the program a short count.
TEST_F(MountWritesTest, LargeWritesThroughDroppedSessionsAreWholeOrFailWithANetworkError) {
    TestDomain& server = domain();
    TempHome home;
    MountedShare share(server, home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();
    constexpr size_t kChunk = 300000;
    // At least this many writes and drops, each write at one of kPlaces places.
    constexpr int kWrites = 30;
    constexpr int kDrops = 10;
    constexpr int kMostWrites = 100;
    constexpr int kPlaces = 30;
    for (const bool appending : {false, true}) {
        SCOPED_TRACE(appending ? "appending" : "at offsets");
        const std::string name = appending ? "appended.bin" : "written.bin";
        const int logonsBefore = server.logons("alice");
        const int fd = ::open(
            share.path(name).c_str(),
            (appending ? O_WRONLY | O_APPEND : O_RDWR) | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << ::strerror(errno);
        ASSERT_EQ(::write(fd, "head", 4), 4);
        std::atomic<bool> writing{true};
        std::atomic<int> drops{0};
        std::thread dropper([&] {
            while (writing) {
                std::this_thread::sleep_for(150ms);
                for (pid_t pid : connectionServers(server)) {
                    ::kill(pid, SIGKILL);
                }
                ++drops;
            }
        });
        std::map<std::string, int> outcomes;
        // Appends: every acknowledged one, in order. At places: the last write at each place,
        // nothing when it failed (the place may then hold either).
        std::vector<std::string> appended;
        std::map<off_t, std::optional<std::string>> lastAt;
        int writes = 0;
        for (; writes < kMostWrites && (writes < kWrites || drops < kDrops); ++writes) {
            const std::string data = randomBytes(kChunk, static_cast<unsigned>(writes + 1));
            const off_t offset =
                4 + static_cast<off_t>(writes % kPlaces) * static_cast<off_t>(kChunk);
            const ssize_t n = appending ? ::write(fd, data.data(), kChunk)
                                        : ::pwrite(fd, data.data(), kChunk, offset);
            const bool whole = n == static_cast<ssize_t>(kChunk);
            ++outcomes[outcomeOf(n, kChunk)];
            if (appending && whole) {
                appended.push_back(data);
            } else if (!appending) {
                lastAt[offset] = whole ? std::optional<std::string>(data) : std::nullopt;
            }
        }
        writing = false;
        dropper.join();
        ::close(fd);
        std::string summary;
        for (const auto& [outcome, count] : outcomes) {
            summary += " " + outcome + "=" + std::to_string(count);
        }
        const int logonsTaken = server.logons("alice") - logonsBefore;
        std::cout << "[ figures  ] " << writes << (appending ? " appends" : " writes") << " of "
                  << kChunk << " bytes, sessions dropped " << drops << " times:" << summary << "; "
                  << logonsTaken << " logons" << std::endl;
        // Only whole writes and network errors; most get through within the call's bound.
        for (const auto& [outcome, count] : outcomes) {
            EXPECT_TRUE(outcome == "whole" || outcome == "ETIMEDOUT" || outcome == "EIO" ||
                        outcome == "ENETRESET" || outcome == "ECONNRESET" ||
                        outcome == "ECONNABORTED")
                << outcome << " " << count;
        }
        EXPECT_GE(outcomes["whole"], writes / 2) << summary;
        // At most one logon for each worker after each drop: no retry storms.
        EXPECT_LE(logonsTaken, 4 * (drops + 1));
        // The server holds every acknowledged write where the program put it (an append
        // after a failed one may follow what that one left).
        const std::string onServer = readFile(share.serverPath(name));
        EXPECT_EQ(onServer.substr(0, 4), "head");
        int missing = 0;
        size_t from = 4;
        for (const std::string& data : appended) {
            const size_t at = onServer.find(data, from);
            missing += at == std::string::npos;
            from = at == std::string::npos ? from : at + kChunk;
        }
        for (const auto& [offset, data] : lastAt) {
            missing += data && onServer.compare(static_cast<size_t>(offset), kChunk, *data) != 0;
        }
        EXPECT_EQ(missing, 0);
        if (outcomes["whole"] == writes) {
            EXPECT_EQ(onServer.size(),
                      4 + std::min(writes, appending ? kMostWrites : kPlaces) * kChunk);
        }
    }
}

// A log held open for appending, written while the server's processes are frozen longer than a
// call's bound: that write fails, the server may still do it when it resumes, and the appends
// after it work again, at the end of the file as the server has it.
TEST_F(MountWritesTest, AnAppendTheServerDidLateLeavesTheLogWritable) {
    TestDomain& server = domain();
    TempHome home;
    MountedShare share(server, home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();
    const int fd =
        ::open(share.path("held.log").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << ::strerror(errno);
    std::map<std::string, int> outcomes;
    const std::string before = appendLines(fd, "before", 3, outcomes);
    ASSERT_EQ(outcomes["whole"], 3);
    const std::vector<pid_t> servers = server.serverProcesses();
    for (pid_t pid : servers) {
        ::kill(pid, SIGSTOP);
    }
    const std::string large(4 * 1024 * 1024, 'x');
    const auto started = Clock::now();
    std::future<int> largeWrite = std::async(std::launch::async, [&] {
        return ::write(fd, large.data(), large.size()) == static_cast<ssize_t>(large.size())
                   ? 0
                   : errno;
    });
    const bool answered =
        largeWrite.wait_for(2 * tools::kRequestBound + 10s) == std::future_status::ready;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    for (pid_t pid : servers) {
        ::kill(pid, SIGCONT);
    }
    ASSERT_TRUE(answered);
    const int largeError = largeWrite.get();
    std::cout << "[ figures  ] 4 MiB append with the server frozen: "
              << (largeError == 0 ? "written" : strerrorname_np(largeError)) << " after "
              << took.count() << " ms" << std::endl;
    EXPECT_TRUE(largeError == ETIMEDOUT || largeError == EIO || largeError == ENETRESET)
        << strerrorname_np(largeError);
    std::this_thread::sleep_for(1s);  // the frozen process does what it had received
    outcomes.clear();
    const std::string after = appendLines(fd, "after", 20, outcomes);
    EXPECT_EQ(outcomes["whole"], 20) << (outcomes.size() > 1 ? outcomes.rbegin()->first : "");
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    EXPECT_TRUE(synced == 0 || synced == largeError) << strerrorname_np(synced);
    EXPECT_EQ(::close(fd), 0) << ::strerror(errno);
    // The server: the lines before, at most the large write's own bytes, the lines after.
    const std::string onServer = readFile(share.serverPath("held.log"));
    ASSERT_GE(onServer.size(), before.size() + after.size());
    EXPECT_EQ(onServer.substr(0, before.size()), before);
    EXPECT_EQ(onServer.substr(onServer.size() - after.size()), after);
    const std::string between =
        onServer.substr(before.size(), onServer.size() - before.size() - after.size());
    EXPECT_EQ(between.find_first_not_of('x'), std::string::npos);
    std::cout << "[ figures  ] of the failed append " << between.size()
              << " bytes reached the server" << std::endl;
    // The mount shows the file as the server has it.
    EXPECT_EQ(readFile(share.path("held.log")), onServer);
}

// One program empties a file and appends lines to it, again and again; another reads it whole
// meanwhile. The reader sees only whole lines: never zeros, never a size the file never had.
TEST_F(MountWritesTest, AReaderBesideATruncatingWriterNeverSeesZeros) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    const std::string path = share.path("rewritten.txt");
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << ::strerror(errno);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        const auto end = Clock::now() + 6s;
        for (int round = 0; Clock::now() < end; ++round) {
            if (::ftruncate(fd, 0) != 0) {
                break;
            }
            for (int i = 0; i < 30; ++i) {
                char line[64];
                const int length =
                    ::snprintf(line, sizeof line, "round %06d line %02d\n", round, i);
                if (::write(fd, line, static_cast<size_t>(length)) != length) {
                    break;
                }
            }
        }
        writing = false;
    });
    int passes = 0;
    int withZeros = 0;
    int withBrokenLines = 0;
    while (writing) {
        const std::string seen = readFile(path);
        ++passes;
        withZeros += seen.find('\0') != std::string::npos;
        // Every line but a last one still being written is whole.
        bool broken = false;
        for (const std::string& line : splitLines(seen.substr(0, seen.rfind('\n') + 1))) {
            broken = broken || line.size() != 20 || line.rfind("round ", 0) != 0;
        }
        withBrokenLines += broken;
    }
    writer.join();
    ::close(fd);
    std::cout << "[ figures  ] reads beside a truncating writer: " << passes << " passes, "
              << withZeros << " with zeros, " << withBrokenLines << " with broken lines"
              << std::endl;
    EXPECT_GT(passes, 10);
    EXPECT_EQ(withZeros, 0);
    EXPECT_EQ(withBrokenLines, 0);
}

}  // namespace
}  // namespace quorvane::testing
