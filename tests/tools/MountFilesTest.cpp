// Files on a real mount: what a program is told is what the server has. Each case here is a
// way a caching mount loses data silently.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "MountedShare.h"
#include "SmbClient.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

class MountFilesTest : public DomainTest {};

struct Outcome {
    int result = 0;
    int error = 0;  // errno when result < 0
};
template <typename Call>
Outcome attempt(Call call) {
    errno = 0;
    const long result = static_cast<long>(call());
    return Outcome{static_cast<int>(result), result < 0 ? errno : 0};
}

// Writes `text` in `piece`-sized writes; the bytes write() reported written, and the first
// error of write, fsync or close.
struct Save {
    size_t written = 0;
    int error = 0;
};
Save save(const std::string& path, const std::string& text, size_t piece = 256 * 1024) {
    Save result;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    while (result.written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + result.written,
                                  std::min(piece, text.size() - result.written));
        if (n < 0) {
            result.error = errno;
            break;
        }
        result.written += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 && result.error == 0) {
        result.error = errno;
    }
    if (::close(fd) != 0 && result.error == 0) {
        result.error = errno;
    }
    return result;
}

TEST_F(MountFilesTest, RefusedWritesFailAtTheCallAndTheMountShowsOnlyWhatTheServerHas) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "alice");
    ASSERT_TRUE(share.mounted()) << share.error();

    // A read-only file: opening it for writing fails; its content stays.
    ASSERT_TRUE(writeFile(share.serverPath("fixed.txt"), "original\n"));
    ::chmod(share.serverPath("fixed.txt").c_str(), 0444);
    for (int flags : {O_WRONLY | O_TRUNC, O_WRONLY | O_APPEND, O_RDWR}) {
        SCOPED_TRACE(flags);
        const Outcome opened =
            attempt([&] { return ::open(share.path("fixed.txt").c_str(), flags); });
        EXPECT_EQ(opened.result, -1);
        EXPECT_EQ(opened.error, EACCES);
        if (opened.result >= 0) {
            ::close(opened.result);
        }
    }
    EXPECT_EQ(readFile(share.path("fixed.txt")), "original\n");
    EXPECT_EQ(readFile(share.serverPath("fixed.txt")), "original\n");

    // A read-only folder: nothing can be made in it, and nothing shows as made.
    ::mkdir(share.serverPath("closed").c_str(), 0555);
    ::chmod(share.serverPath("closed").c_str(), 0555);
    EXPECT_EQ(save(share.path("closed/new.txt"), "new\n").error, EACCES);
    EXPECT_EQ(attempt([&] { return ::mkdir(share.path("closed/sub").c_str(), 0755); }).error,
              EACCES);
    struct stat info {};
    EXPECT_EQ(::stat(share.path("closed/new.txt").c_str(), &info), -1);
    EXPECT_EQ(::access(share.serverPath("closed/new.txt").c_str(), F_OK), -1);

    // A full disk (a 1 MiB file system below the share, where the test may mount one): the
    // write that does not fit fails, and what was reported written is on the server.
    const std::string full = share.serverPath("full");
    ::mkdir(full.c_str(), 0777);
    if (::mount("quorvane-full", full.c_str(), "tmpfs", 0, "size=1m,mode=0777") != 0) {
        std::cout << "[ skipped  ] full disk: cannot mount a small tmpfs here (not root)\n";
        return;
    }
    const std::string text = randomBytes(3 * 1024 * 1024, 7);
    const Save saved = save(share.path("full/big.bin"), text);
    const std::string onServer = readFile(full + "/big.bin");
    const std::string onMount = readFile(share.path("full/big.bin"));
    ::umount2(full.c_str(), MNT_DETACH);
    EXPECT_EQ(saved.error, ENOSPC);
    EXPECT_LT(saved.written, text.size());
    EXPECT_GE(onServer.size(), saved.written);
    EXPECT_EQ(onServer, text.substr(0, onServer.size()));
    EXPECT_EQ(onMount, onServer);
}

TEST_F(MountFilesTest, ARenameRightAfterCloseStays) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    // How editors save: a temporary file, then renamed over the document.
    std::string last;
    for (int round = 0; round < 20; ++round) {
        last = "version " + std::to_string(round) + "\n" + randomBytes(4096, round);
        ASSERT_EQ(save(share.path("doc.txt.tmp"), last).error, 0);
        ASSERT_EQ(::rename(share.path("doc.txt.tmp").c_str(), share.path("doc.txt").c_str()), 0);
    }
    std::this_thread::sleep_for(1500ms);  // past any attribute or upload delay
    EXPECT_EQ(readFile(share.serverPath("doc.txt")), last);
    EXPECT_EQ(readFile(share.path("doc.txt")), last);
    EXPECT_EQ(::access(share.serverPath("doc.txt.tmp").c_str(), F_OK), -1);
}

TEST_F(MountFilesTest, AnUnmountRightAfterSavingLosesNothing) {
    TempHome home;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        MountedShare share(domain(), home, "carol", "carol");
        ASSERT_TRUE(share.mounted()) << share.error();
        std::map<std::string, std::string> saved;
        for (int i = 0; i < 20; ++i) {
            const std::string name = "saved-" + std::to_string(round) + "-" + std::to_string(i);
            saved[name] = randomBytes(1024 + 997 * i, round * 100 + i);
            ASSERT_EQ(save(share.path(name), saved[name]).error, 0);
        }
        ASSERT_EQ(share.release(), 0);
        for (const auto& [name, text] : saved) {
            EXPECT_EQ(readFile(share.serverPath(name)), text) << name;
        }
    }
    // Nothing of the files stays on the local disk.
    EXPECT_EQ(runProgram("/usr/bin/find", {home.path(), "-type", "f"}, {}, std::nullopt).out(), "");
}

// One writer's share of the load: files in its own folder, with a model of what each holds.
struct Writer {
    std::string folder;  // on the mount
    std::map<std::string, std::string> model;
    int failures = 0;
    std::string firstFailure;

    void fail(const std::string& what) {
        if (failures++ == 0) {
            firstFailure = what + ": " + ::strerror(errno);
        }
    }
    void run(unsigned seed, int operations) {
        std::mt19937 random(seed);
        for (int i = 0; i < operations; ++i) {
            const std::string name = "f" + std::to_string(random() % 12);
            const std::string path = folder + "/" + name;
            const bool exists = model.count(name) != 0;
            switch (random() % 8) {
                case 0:
                case 1: {  // write anew
                    const std::string text = randomBytes(random() % 20000, random());
                    if (save(path, text, 8192).error != 0) {
                        fail("write " + name);
                    }
                    model[name] = text;
                    break;
                }
                case 2: {  // append
                    const std::string text = randomBytes(1 + random() % 3000, random());
                    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
                    if (fd < 0 ||
                        ::write(fd, text.data(), text.size()) !=
                            static_cast<ssize_t>(text.size()) ||
                        ::close(fd) != 0) {
                        fail("append " + name);
                    }
                    model[name] += text;
                    break;
                }
                case 3:  // read back
                    if (exists && readFile(path) != model[name]) {
                        fail("read " + name + " differs");
                    }
                    break;
                case 4: {  // truncate
                    if (!exists) {
                        break;
                    }
                    const size_t size = random() % (model[name].size() + 100);
                    if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0) {
                        fail("truncate " + name);
                    }
                    model[name].resize(size, '\0');
                    break;
                }
                case 5: {  // rename
                    const std::string other = "f" + std::to_string(random() % 12);
                    if (!exists || other == name) {
                        break;
                    }
                    if (::rename(path.c_str(), (folder + "/" + other).c_str()) != 0) {
                        fail("rename " + name);
                    }
                    model[other] = model[name];
                    model.erase(name);
                    break;
                }
                case 6:  // remove
                    if (exists && ::unlink(path.c_str()) != 0) {
                        fail("unlink " + name);
                    }
                    model.erase(name);
                    break;
                case 7: {  // a folder made and removed
                    const std::string sub = folder + "/sub";
                    if (::mkdir(sub.c_str(), 0755) != 0 || ::rmdir(sub.c_str()) != 0) {
                        fail("mkdir/rmdir");
                    }
                    break;
                }
            }
        }
    }
};

TEST_F(MountFilesTest, FourWritersAtOnceLeaveTheDaemonAliveAndTheDataWhole) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "Science");
    ASSERT_TRUE(share.mounted()) << share.error();
    const int daemon = daemonOf(share.path());
    ASSERT_GT(daemon, 0);
    std::vector<Writer> writers(4);
    std::vector<std::thread> threads;
    const auto started = std::chrono::steady_clock::now();
    for (size_t w = 0; w < writers.size(); ++w) {
        writers[w].folder = share.path("writer" + std::to_string(w));
        ASSERT_EQ(::mkdir(writers[w].folder.c_str(), 0755), 0);
        threads.emplace_back([&writers, w] { writers[w].run(1000 + w, 1000); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::cout << "[ figures  ] 4 x 1,000 mixed operations: " << took.count() << " ms" << std::endl;
    EXPECT_EQ(daemonOf(share.path()), daemon);
    for (size_t w = 0; w < writers.size(); ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(writers[w].failures, 0) << writers[w].firstFailure;
        const std::string serverFolder = share.serverPath("writer" + std::to_string(w));
        for (const auto& [name, text] : writers[w].model) {
            EXPECT_EQ(readFile(serverFolder + "/" + name), text) << name;
        }
        const std::string listed = runProgram("/bin/ls", {"-A", serverFolder}).out();
        EXPECT_EQ(splitLines(listed).size(), writers[w].model.size()) << listed;
    }
}

// The daemon's worker processes, each a connection to the server.
std::vector<pid_t> workersOf(int daemon) {
    std::vector<pid_t> workers;
    const std::string tasks = "/proc/" + std::to_string(daemon) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::istringstream children(readFile(task.path().string() + "/children"));
        for (pid_t child = 0; children >> child;) {
            workers.push_back(child);
        }
    }
    return workers;
}

bool ended(pid_t process) {
    const std::string stat = readFile("/proc/" + std::to_string(process) + "/stat");
    const size_t close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
}

TEST_F(MountFilesTest, KilledWorkersFailOnlyTheirOpenFilesAndAreReplaced) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "Science");
    ASSERT_TRUE(share.mounted()) << share.error();
    ASSERT_TRUE(writeFile(share.serverPath("held.txt"), "held"));
    const int fd = ::open(share.path("held.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const int daemon = daemonOf(share.path());
    const std::vector<pid_t> workers = workersOf(daemon);
    ASSERT_FALSE(workers.empty());
    for (pid_t worker : workers) {
        ::kill(worker, SIGKILL);
    }
    ASSERT_TRUE(
        eventually([&] { return std::all_of(workers.begin(), workers.end(), ended); }, 10s));
    char byte = 0;
    EXPECT_EQ(attempt([&] { return ::pread(fd, &byte, 1, 0); }).error, EIO);
    ::close(fd);
    EXPECT_EQ(readFile(share.path("held.txt")), "held");
    EXPECT_EQ(daemonOf(share.path()), daemon);
}

// Workers too slow for their calls. A folder renamed while files in it are open on two
// workers, with the renaming worker stopped: the call fails but the rename is done late, and
// the file on the other worker (which stepped aside for it) follows to the new name. Another
// worker dies while its late reply to a read is awaited: the read took one bound, and the
// worker is replaced; only its file fails.
TEST_F(MountFilesTest, LateRepliesAreFollowedAndAWorkerDyingBeforeItsReplyIsReplaced) {
    TempHome home;
    MountedShare share(domain(), home, "alice", "Science");
    ASSERT_TRUE(share.mounted()) << share.error();
    ASSERT_EQ(::mkdir(share.path("before").c_str(), 0755), 0);
    ASSERT_TRUE(writeFile(share.serverPath("elsewhere.txt"), "elsewhere"));
    // Each opens on the least busy worker, in the workers' order.
    const int first = ::open(share.path("before/first.txt").c_str(), O_RDWR | O_CREAT, 0644);
    const int second = ::open(share.path("before/second.txt").c_str(), O_RDWR | O_CREAT, 0644);
    const int third = ::open(share.path("elsewhere.txt").c_str(), O_RDONLY);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_GE(third, 0);
    ASSERT_EQ(::write(second, "one ", 4), 4);
    const int daemon = daemonOf(share.path());
    std::vector<pid_t> workers = workersOf(daemon);
    ASSERT_EQ(workers.size(), 4u);
    std::sort(workers.begin(), workers.end());  // started in their order
    ::kill(workers[0], SIGSTOP);
    ::kill(workers[2], SIGSTOP);
    char byte = 0;
    std::thread reader([&] {
        // The kernel's read-ahead and then its read of the page: one bound for both.
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(attempt([&] { return ::pread(third, &byte, 1, 0); }).error, ETIMEDOUT);
        EXPECT_LE(std::chrono::steady_clock::now() - started, tools::kRequestBound + 5s);
    });
    const Outcome renamed = attempt(
        [&] { return ::rename(share.path("before").c_str(), share.path("after").c_str()); });
    reader.join();
    ::kill(workers[0], SIGCONT);
    ::kill(workers[2], SIGKILL);
    EXPECT_EQ(renamed.error, ETIMEDOUT) << "the rename did not wait on the stopped worker";
    ASSERT_TRUE(
        eventually([&] { return std::filesystem::is_directory(share.serverPath("after")); }, 10s));
    ASSERT_TRUE(eventually([&] { return ended(workers[2]); }, 10s));
    std::this_thread::sleep_for(500ms);  // the late replies are taken in
    EXPECT_EQ(::write(second, "two", 3), 3) << ::strerror(errno);
    EXPECT_EQ(::close(second), 0) << ::strerror(errno);
    EXPECT_EQ(::close(first), 0) << ::strerror(errno);
    EXPECT_EQ(readFile(share.serverPath("after/second.txt")), "one two");
    EXPECT_EQ(attempt([&] { return ::pread(third, &byte, 1, 0); }).error, EIO);
    ::close(third);
    EXPECT_EQ(readFile(share.path("elsewhere.txt")), "elsewhere");
    EXPECT_EQ(daemonOf(share.path()), daemon);
    EXPECT_EQ(workersOf(daemon).size(), 4u);
}

// Calls the shares cannot do, names the server would misread or that are too long, and paths
// through files: each gets the error a local disk would give, never EIO, and changes nothing.
TEST_F(MountFilesTest, UnusualCallsAndNamesGetTheAnswersOfALocalDisk) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    // A lock file opened with O_CREAT but for reading only, then locked.
    const int lock = ::open(share.path("app.lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0) << ::strerror(errno);
    EXPECT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    ::close(lock);
    EXPECT_EQ(::access(share.serverPath("app.lock").c_str(), F_OK), 0);

    ASSERT_EQ(::mkdir(share.path("back").c_str(), 0755), 0);
    ASSERT_TRUE(writeFile(share.path("back/slash.txt"), "kept\n"));
    ASSERT_TRUE(writeFile(share.path("plain.txt"), "plain\n"));
    ASSERT_EQ(::mkdir(share.path("was").c_str(), 0755), 0);
    const std::string p = share.path("plain.txt");
    // Names up to 255 bytes work; longer ones are too long, whatever the call.
    const std::string longest(255, 'n');
    EXPECT_TRUE(writeFile(share.path(longest), "x"));
    EXPECT_EQ(readFile(share.serverPath(longest)), "x");
    const std::string tooLong = share.path(std::string(256, 'n'));
    // A folder the kernel still knows, replaced by a file on the server: the server says only
    // "not found" below it.
    struct stat info {};
    ASSERT_EQ(::stat(share.path("was").c_str(), &info), 0);
    ASSERT_EQ(::rmdir(share.serverPath("was").c_str()), 0);
    ASSERT_TRUE(writeFile(share.serverPath("was"), "file\n"));
    struct Case {
        std::string what;
        std::function<long()> call;
        int error;
        int orError = 0;  // another answer a local disk gives
    };
    char value[8];
    std::vector<Case> cases = {
        // What these shares cannot hold is refused as such, not as an I/O error.
        {"symlink", [&] { return ::symlink("plain.txt", share.path("link").c_str()); }, ENOTSUP,
         EPERM},
        {"link", [&] { return ::link(p.c_str(), share.path("hard").c_str()); }, ENOTSUP, EPERM},
        {"mkfifo", [&] { return ::mkfifo(share.path("fifo").c_str(), 0644); }, ENOTSUP, EPERM},
        {"mknod",
         [&] { return ::mknod(share.path("node").c_str(), S_IFCHR | 0644, makedev(1, 3)); },
         ENOTSUP, EPERM},
        {"setxattr", [&] { return ::setxattr(p.c_str(), "user.a", "1", 1, 0); }, ENOTSUP, EPERM},
        {"getxattr", [&] { return ::getxattr(p.c_str(), "user.a", value, sizeof value); }, ENOTSUP},
        {"create too long", [&] { return ::open(tooLong.c_str(), O_CREAT | O_WRONLY, 0644); },
         ENAMETOOLONG},
        {"mkdir too long", [&] { return ::mkdir(tooLong.c_str(), 0755); }, ENAMETOOLONG},
        {"rename to too long", [&] { return ::rename(p.c_str(), tooLong.c_str()); }, ENAMETOOLONG},
        {"stat too long", [&] { return ::stat(tooLong.c_str(), &info); }, ENAMETOOLONG},
        {"create below was", [&] { return ::open(share.path("was/f").c_str(), O_CREAT, 0644); },
         ENOTDIR},
        {"mkdir below was", [&] { return ::mkdir(share.path("was/d").c_str(), 0755); }, ENOTDIR},
        {"rename below was", [&] { return ::rename(p.c_str(), share.path("was/p").c_str()); },
         ENOTDIR},
        {"create below a file", [&] { return ::open((p + "/f").c_str(), O_CREAT, 0644); }, ENOTDIR},
        // The share ignores case: another spelling is the same file, never a second one.
        {"create PLAIN.TXT exclusively",
         [&] { return ::open(share.path("PLAIN.TXT").c_str(), O_CREAT | O_EXCL, 0644); }, EEXIST},
    };
    for (const std::string name :
         {"back\\slash.txt", "..\\escape.txt", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b"}) {
        const std::string path = share.path(name);
        cases.push_back({"create " + name,
                         [=] { return ::open(path.c_str(), O_CREAT | O_WRONLY, 0644); }, EINVAL});
        cases.push_back({"mkdir " + name, [=] { return ::mkdir(path.c_str(), 0755); }, EINVAL});
        cases.push_back(
            {"rename to " + name, [=] { return ::rename(p.c_str(), path.c_str()); }, EINVAL});
    }
    for (const Case& c : cases) {
        const Outcome outcome = attempt(c.call);
        EXPECT_EQ(outcome.result, -1) << c.what;
        EXPECT_TRUE(outcome.error == c.error || (c.orError != 0 && outcome.error == c.orError))
            << c.what << ": " << ::strerror(outcome.error);
    }
    EXPECT_EQ(readFile(share.serverPath("back/slash.txt")), "kept\n");
    EXPECT_EQ(::access(share.serverPath("../escape.txt").c_str(), F_OK), -1);
    struct stat upper {};
    ASSERT_EQ(::stat(share.path("PLAIN.TXT").c_str(), &upper), 0);
    ASSERT_EQ(::stat(p.c_str(), &info), 0);
    EXPECT_EQ(upper.st_ino, info.st_ino);
}

TEST_F(MountFilesTest, ALargeFolderListsWholeWithTheServersNumbersAndAnewAfterARewind) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    // More entries than the daemon gets from its worker at once.
    std::map<std::string, ino_t> server;
    const auto add = [&](const std::string& name) {
        struct stat info {};
        const std::string path = share.serverPath("many/" + name);
        ASSERT_TRUE(writeFile(path, "x"));
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        server[name] = info.st_ino;
    };
    ASSERT_EQ(::mkdir(share.serverPath("many").c_str(), 0755), 0);
    for (int i = 0; i < 2500; ++i) {
        add("f" + std::to_string(i));
    }
    const auto listed = [](DIR* folder) {
        std::map<std::string, ino_t> entries;
        while (const dirent* entry = ::readdir(folder)) {
            if (::strcmp(entry->d_name, ".") != 0 && ::strcmp(entry->d_name, "..") != 0) {
                entries[entry->d_name] = entry->d_ino;
            }
        }
        return entries;
    };
    DIR* folder = ::opendir(share.path("many").c_str());
    ASSERT_NE(folder, nullptr) << ::strerror(errno);
    EXPECT_EQ(listed(folder), server);
    add("late");
    ::rewinddir(folder);
    EXPECT_EQ(listed(folder), server);
    ::closedir(folder);
}

// ls -l stats every entry it lists; on a busy machine the kernel's own copy of the attributes
// has expired by then, and the listing's copy answers instead of the server.
TEST_F(MountFilesTest, StatsWhileAFolderIsListedComeFromItsListingAndChangesShowAtOnce) {
    TempHome home;
    MountedShare share(domain(), home, "bob", "bob");
    ASSERT_TRUE(share.mounted()) << share.error();
    ASSERT_EQ(::mkdir(share.path("listed").c_str(), 0755), 0);
    ASSERT_TRUE(writeFile(share.serverPath("listed/theirs"), "1"));
    ASSERT_TRUE(writeFile(share.path("listed/mine"), "1"));
    const auto sizeOf = [&](const char* name) {
        struct stat info {};
        return ::stat(share.path(std::string("listed/") + name).c_str(), &info) == 0 ? info.st_size
                                                                                     : -1;
    };
    DIR* folder = ::opendir(share.path("listed").c_str());
    ASSERT_NE(folder, nullptr) << ::strerror(errno);
    while (::readdir(folder) != nullptr) {
    }
    // Changed on the server by someone else, after the listing.
    ASSERT_TRUE(writeFile(share.serverPath("listed/theirs"), "four"));
    std::this_thread::sleep_for(1200ms);  // the kernel's own copy expires after 1 s
    EXPECT_EQ(sizeOf("theirs"), 1) << "the listing's attributes should answer";
    ASSERT_TRUE(writeFile(share.path("listed/mine"), "five!"));
    EXPECT_EQ(sizeOf("mine"), 5) << "a change through the mount shows at once";
    ::closedir(folder);
    std::this_thread::sleep_for(2200ms);  // the listing's and the kernel's copies expire
    EXPECT_EQ(sizeOf("theirs"), 4);
}

TEST_F(MountFilesTest, InodeNumbersFreeSpaceAndDeepestPathsAreTheServers) {
    TempHome home;
    auto share = std::make_unique<MountedShare>(domain(), home, "carol", "carol");
    ASSERT_TRUE(share->mounted()) << share->error();
    const std::string tree = home.path() + "/tree";
    for (const char* folder : {"/t/a/b", "/t/c/d", "/t/e/f"}) {
        ASSERT_TRUE(runProgram("/bin/mkdir", {"-p", tree + folder}).status() == 0);
        ASSERT_TRUE(writeFile(tree + folder + "/file", folder));
    }
    // A link out of its folder becomes a placeholder until the end, when tar checks that the
    // folders above kept their numbers (the link itself cannot be made on the share).
    ASSERT_EQ(::symlink("../c/d/file", (tree + "/t/a/link").c_str()), 0);
    ASSERT_EQ(runProgram("/bin/tar", {"cf", home.path() + "/t.tar", "-C", tree, "t"}).status(), 0);
    ASSERT_EQ(::mkdir(share->path("x").c_str(), 0755), 0);
    ASSERT_TRUE(writeFile(share->path("x/file"), "x"));
    const auto inodes = [&](const std::function<std::string(const std::string&)>& where) {
        std::vector<ino_t> numbers;
        for (const char* name : {"", "x", "x/file"}) {
            struct stat info {};
            numbers.push_back(::stat(where(name).c_str(), &info) == 0 ? info.st_ino : 0);
        }
        return numbers;
    };
    const auto onMount = [&](const std::string& name) { return share->path(name); };
    const auto server = inodes([&](const std::string& name) { return share->serverPath(name); });
    EXPECT_EQ(inodes(onMount), server);
    // The same while the kernel forgets every folder after each 512 bytes tar reads (root only).
    if (writeFile("/proc/sys/vm/drop_caches", "3")) {
        const ProgramRun untar = runProgram(
            "/bin/tar",
            {"xf", home.path() + "/t.tar", "-b", "1", "-C", share->path(), "--checkpoint=1",
             "--checkpoint-action=exec=sh -c 'echo 3 >/proc/sys/vm/drop_caches'"});
        EXPECT_EQ(untar.err().find("renamed"), std::string::npos) << untar.err();
        EXPECT_EQ(inodes(onMount), server);
    }
    ASSERT_EQ(share->release(), 0);
    share = std::make_unique<MountedShare>(domain(), home, "carol", "carol");
    ASSERT_TRUE(share->mounted()) << share->error();
    EXPECT_EQ(inodes(onMount), server);

    // Free space in bytes, as the server's own disk has it.
    struct statvfs mounted {};
    struct statvfs disk {};
    ASSERT_EQ(::statvfs(share->path().c_str(), &mounted), 0);
    ASSERT_EQ(::statvfs(share->serverPath().c_str(), &disk), 0);
    EXPECT_EQ(mounted.f_blocks * mounted.f_frsize, disk.f_blocks * disk.f_frsize);
    EXPECT_NEAR(static_cast<double>(mounted.f_bavail * mounted.f_frsize),
                static_cast<double>(disk.f_bavail * disk.f_frsize), 256.0 * 1024 * 1024);

    // Paths up to 4,095 bytes below the top (Linux's longest less one) can be made and removed;
    // one byte more is too long for every call. Opened folder by folder: no local path is that
    // long.
    const std::string part(200, 'd');  // 20 of them with their slashes: 4,019 bytes
    std::vector<int> folders = {::open(share->path().c_str(), O_DIRECTORY | O_RDONLY)};
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(::mkdirat(folders.back(), part.c_str(), 0755), 0) << i;
        folders.push_back(::openat(folders.back(), part.c_str(), O_DIRECTORY | O_RDONLY));
    }
    const std::string last(4095 - 4019 - 1, 'e');
    const std::string over = last + "e";
    EXPECT_EQ(::mkdirat(folders.back(), last.c_str(), 0755), 0);
    EXPECT_EQ(::unlinkat(folders.back(), last.c_str(), AT_REMOVEDIR), 0);
    EXPECT_EQ(attempt([&] { return ::mkdirat(folders.back(), over.c_str(), 0755); }).error,
              ENAMETOOLONG);
    EXPECT_EQ(attempt([&] {
                  return ::openat(folders.back(), over.c_str(), O_CREAT | O_WRONLY, 0644);
              }).error,
              ENAMETOOLONG);
    for (size_t i = folders.size() - 1; i > 0; --i) {
        ::close(folders[i]);
        EXPECT_EQ(::unlinkat(folders[i - 1], part.c_str(), AT_REMOVEDIR), 0) << i;
    }
    ::close(folders[0]);
    EXPECT_EQ(::access(share->serverPath(part).c_str(), F_OK), -1);
}

}  // namespace
}  // namespace quorvane::testing
