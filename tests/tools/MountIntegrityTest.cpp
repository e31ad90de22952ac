// Integrity of file contents on a real mount against a local reference, and the bounds that
// hold when the server stops answering.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <random>
#include <sstream>
#include <thread>

#include "MountedShare.h"
#include "SmbClient.h"
#include "SmbUrl.h"
#include "ToolProcess.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// This program run as `--append-lines FILE TAG COUNT` appends COUNT lines to FILE, one
// write() each: the second writer of the append test.
// Opens the file once for appending and writes numbered lines through it, one write each.
constexpr const char* kAppendLines = R"SH(exec 3>>"$1" || exit 1
for ((i = 0; i < $3; i++)); do printf '%s line %d of %s\n' "$2" "$i" "$2" >&3 || exit 1; done
exec 3>&-)SH";

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class MountIntegrityTest : public DomainTest {};

// Random writes, reads and truncations through one file, each checked against a copy kept
// in memory; the file is closed and opened again now and then, and compared whole.
TEST_F(MountIntegrityTest, RandomReadsWritesAndTruncationsMatchALocalCopy) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();
    const std::string path = share.path("exercised.bin");
    std::mt19937 random(20261206);
    std::string reference;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    constexpr size_t kLargest = 3 * 1024 * 1024;
    int operations = 0;
    int mismatches = 0;
    for (; operations < 800; ++operations) {
        const unsigned choice = random() % 10;
        if (choice < 4) {  // write, also past the end (a hole in between)
            const size_t offset = random() % kLargest;
            const size_t length = 1 + random() % (1 << (8 + random() % 10));
            const std::string data = randomBytes(length, random());
            ASSERT_EQ(::pwrite(fd, data.data(), length, static_cast<off_t>(offset)),
                      static_cast<ssize_t>(length));
            if (reference.size() < offset + length) {
                reference.resize(offset + length, '\0');
            }
            reference.replace(offset, length, data);
        } else if (choice < 7) {  // read a range and compare
            const size_t offset = random() % (reference.size() + 1000);
            const size_t length = 1 + random() % (1 << (8 + random() % 10));
            std::string data(length, '\0');
            const ssize_t n = ::pread(fd, data.data(), length, static_cast<off_t>(offset));
            const std::string expected =
                offset < reference.size() ? reference.substr(offset, length) : "";
            if (n != static_cast<ssize_t>(expected.size()) ||
                data.substr(0, expected.size()) != expected) {
                ++mismatches;
                ADD_FAILURE()
                    << "operation " << operations << ": read of " << length << " at " << offset
                    << " gave " << n << " bytes, " << expected.size()
                    << " expected, first difference at "
                    << std::mismatch(expected.begin(), expected.end(), data.begin()).first -
                           expected.begin();
            }
        } else if (choice < 9) {  // truncate, shorter or longer
            const size_t size = random() % kLargest;
            ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
            reference.resize(size, '\0');
        } else {  // close, open again and compare the whole file
            ASSERT_EQ(::close(fd), 0);
            const std::string whole = readFile(path);
            if (whole != reference) {
                ++mismatches;
                ADD_FAILURE() << "operation " << operations << ": reopened file of " << whole.size()
                              << " bytes, " << reference.size() << " expected";
            }
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            ASSERT_GE(fd, 0);
        }
        struct stat info {};
        ASSERT_EQ(::fstat(fd, &info), 0);
        if (static_cast<size_t>(info.st_size) != reference.size()) {
            ++mismatches;
            ADD_FAILURE() << "operation " << operations << " (kind " << choice << "): size "
                          << info.st_size << ", " << reference.size() << " expected";
        }
    }
    ASSERT_EQ(::close(fd), 0);
    mismatches += readFile(share.serverPath("exercised.bin")) != reference;
    std::cout << "[ figures  ] random exerciser: " << operations << " operations, " << mismatches
              << " mismatches" << std::endl;
    EXPECT_EQ(mismatches, 0);
}

// The daemon keeps what it read past a request for the next ones. A read running past the end
// of the file overwrites that piece with less than it asked for: a later read inside the old
// piece must still get its own bytes. The kernel's read-ahead is off, so each read reaches the
// daemon as it is.
TEST_F(MountIntegrityTest, AReadAtTheEndNeverLeavesAnotherPartOfTheFileForTheNext) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();
    const size_t size = 40 * 4096 + 100;
    const std::string contents = randomBytes(size, 7);
    ASSERT_TRUE(writeFile(share.serverPath("ends.bin"), contents));
    const int fd = ::open(share.path("ends.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM), 0);
    const struct {
        off_t offset;
        size_t length;
    } reads[] = {{0, 4096}, {38 * 4096, 3 * 4096}, {4096, 4096}};
    for (const auto& read : reads) {
        std::string data(read.length, '\0');
        const ssize_t n = ::pread(fd, data.data(), read.length, read.offset);
        ASSERT_GE(n, 0) << ::strerror(errno);
        data.resize(static_cast<size_t>(n));
        EXPECT_TRUE(data == contents.substr(static_cast<size_t>(read.offset), read.length))
            << "read of " << read.length << " at " << read.offset << " gave other bytes";
    }
    ::close(fd);
}

TEST_F(MountIntegrityTest, OpenFilesSurviveRenameAndRemovalAndTwoProcessesAppend) {
    TempHome home;
    MountedShare share(domain(), home, "carol", "carol");
    ASSERT_TRUE(share.mounted()) << share.error();

    // Renamed while open: the writes after the rename land in the renamed file.
    int fd = ::open(share.path("draft.txt").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "before ", 7), 7);
    ASSERT_EQ(::rename(share.path("draft.txt").c_str(), share.path("final.txt").c_str()), 0)
        << ::strerror(errno);
    ASSERT_EQ(::write(fd, "after\n", 6), 6);
    ASSERT_EQ(::close(fd), 0);
    EXPECT_EQ(readFile(share.serverPath("final.txt")), "before after\n");
    EXPECT_EQ(::access(share.serverPath("draft.txt").c_str(), F_OK), -1);

    // Removed while open: still readable through the open file, gone for everyone else, and
    // nothing of it stays on the server after the close.
    fd = ::open(share.path("scratch.txt").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "scratch", 7), 7);
    ASSERT_EQ(::unlink(share.path("scratch.txt").c_str()), 0) << ::strerror(errno);
    char back[8] = {};
    EXPECT_EQ(::pread(fd, back, 7, 0), 7);
    EXPECT_STREQ(back, "scratch");
    EXPECT_EQ(::access(share.path("scratch.txt").c_str(), F_OK), -1);
    ASSERT_EQ(::close(fd), 0);
    // The kernel reports the last close to the daemon after close() has returned.
    std::string listing;
    EXPECT_TRUE(eventually([&] {
        listing = runProgram("/bin/ls", {"-A", share.serverPath()}, {}, std::nullopt).out();
        return listing.find("fuse_hidden") == std::string::npos;
    })) << listing;
    EXPECT_EQ(listing.find("scratch"), std::string::npos) << listing;

    // Two processes append to one file at once: every line arrives whole.
    const std::string log = share.path("shared.log");
    constexpr int kLines = 400;
    auto writer = [&](const std::string& tag) {
        return runProgram("/bin/bash",
                          {"-c", kAppendLines, "append", log, tag, std::to_string(kLines)}, {},
                          std::nullopt, 60s)
            .status();
    };
    std::future<int> first = std::async(std::launch::async, writer, std::string("first"));
    std::future<int> second = std::async(std::launch::async, writer, std::string("second"));
    ASSERT_EQ(first.get(), 0);
    ASSERT_EQ(second.get(), 0);
    std::istringstream lines(readFile(share.serverPath("shared.log")));
    std::string line;
    int whole = 0;
    int broken = 0;
    while (std::getline(lines, line)) {
        const std::string tag = line.substr(0, line.find(' '));
        const bool intact =
            (tag == "first" || tag == "second") && line.size() > tag.size() + 4 &&
            line.compare(line.size() - tag.size() - 4, std::string::npos, " of " + tag) == 0;
        (intact ? whole : broken) += 1;
    }
    EXPECT_EQ(whole, 2 * kLines);
    EXPECT_EQ(broken, 0);
}

TEST_F(MountIntegrityTest, ASparseFilePastFourGigabytesStaysSparse) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    const off_t far = 5LL * 1024 * 1024 * 1024 + 12345;
    const int fd =
        ::open(share.path("sparse.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "end", 3, far), 3);
    ASSERT_EQ(::pwrite(fd, "4g", 2, 4LL * 1024 * 1024 * 1024 - 1), 2);
    char back[4] = {};
    EXPECT_EQ(::pread(fd, back, 3, far), 3);
    EXPECT_STREQ(back, "end");
    EXPECT_EQ(::pread(fd, back, 2, 4LL * 1024 * 1024 * 1024 - 1), 2);
    EXPECT_EQ(std::string(back, 2), "4g");
    EXPECT_EQ(::pread(fd, back, 3, far - 3), 3);
    EXPECT_EQ(std::string(back, 3), std::string(3, '\0'));
    ASSERT_EQ(::close(fd), 0);
    struct stat onServer {};
    ASSERT_EQ(::stat(share.serverPath("sparse.bin").c_str(), &onServer), 0);
    EXPECT_EQ(onServer.st_size, far + 3);
    // Only what was written takes room on the server's disk.
    EXPECT_LT(onServer.st_blocks * 512, 1024 * 1024);
    ::unlink(share.serverPath("sparse.bin").c_str());
}

TEST_F(MountIntegrityTest, AServerThatStopsAnsweringGetsAnErrorInBoundedTime) {
    TempHome home;
    // A server that stops answering while mounted: each call comes back with an error once the
    // mount's bound has passed, and the mount can still be released at once.
    TestDomain& stopping = domain();
    MountedShare share(stopping, home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();
    ASSERT_EQ(readFile(share.path("readme.txt")), "Home of alice\n");
    const std::vector<pid_t> servers = stopping.serverProcesses();
    ASSERT_FALSE(servers.empty());
    for (pid_t pid : servers) {
        ::kill(pid, SIGSTOP);
    }
    auto started = Clock::now();
    std::future<int> call = std::async(std::launch::async, [&] {
        struct stat info {};
        return ::stat(share.path("never-seen.txt").c_str(), &info) == 0 ? 0 : errno;
    });
    const bool answered =
        call.wait_for(2 * tools::kRequestBound + 10s) == std::future_status::ready;
    const long long callTook = millisecondsSince(started);
    std::cout << "[ figures  ] a call while the server does not answer: " << callTook << " ms"
              << std::endl;
    EXPECT_TRUE(answered);
    if (answered) {
        EXPECT_NE(call.get(), 0);
    }
    // One bound from the call's arrival, a reconnect included (the kernel's second lookup
    // after a failed one comes back at once).
    EXPECT_LE(callTook, std::chrono::milliseconds(tools::kRequestBound + 5s).count());
    started = Clock::now();
    EXPECT_EQ(share.release(), 0);
    std::cout << "[ figures  ] umount while the server does not answer: "
              << millisecondsSince(started) << " ms" << std::endl;
    for (pid_t pid : servers) {
        ::kill(pid, SIGCONT);
    }
    EXPECT_FALSE(isMounted(share.path()));
}

}  // namespace
}  // namespace quorvane::testing
