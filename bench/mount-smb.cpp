// The mount tool beside smbclient (the wire floor) on the private test domain: mount to
// usable, reading and writing 200 MB, `ls -l` of 5,000 files (on an idle machine and at load
// 40), reading 1,000 files of 4 KB;
// medians of ROUNDS rounds (default 5), the two clients alternating in each round. Then what
// one busy connection would hold up: the latency of a 4 KB open-read-close and of `ls -l` of
// 100 files while a 1 GB copy runs on the same mount, 4 readers of 4 files at once beside 4
// smbclient sessions, `ls -l` of 5,000 and 50,000 files, and CPU seconds per GB read (the
// daemon and its workers); these beside Samba's client library alone doing the same work
// without FUSE (the floor a mount over it can reach), and for smbnetfs where it is installed.
//   build/bin/mount-smb [ROUNDS]
// QUORVANE_BENCH_TOOLS names another build's folder of mount_smbfs and umount to measure;
// QUORVANE_BENCH_BASE one more, measured round by round beside it in the busy steps;
// QUORVANE_BENCH_BUSY_ONLY=1 leaves out the first table.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "MountRelease.h"
#include "SmbClient.h"
#include "SmbConnection.h"
#include "SmbUrl.h"
#include "TestDomain.h"
#include "ToolProcess.h"

using namespace quorvane;
using namespace quorvane::testing;

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBig = 200 * 1024 * 1024;
constexpr int kListed = 5000;
constexpr int kSmall = 1000;
// Processes that keep the cores busy for the steps "at load 40".
constexpr int kSpinners = 40;

double seconds(const std::function<bool()>& step) {
    const auto started = Clock::now();
    if (!step()) {
        std::cerr << "mount-smb: a step failed" << std::endl;
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - started).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The value below which `share` of the sorted values lie.
double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(share * values.size()));
    return values[at];
}

std::string tools() {
    const char* other = std::getenv("QUORVANE_BENCH_TOOLS");
    return other != nullptr && other[0] != '\0' ? other : toolsFolder();
}

// Another build's tools to measure beside them, or empty.
std::string baseTools() {
    const char* base = std::getenv("QUORVANE_BENCH_BASE");
    return base != nullptr ? base : "";
}

bool readAll(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // One buffer per reader, as separate programs have: four readers writing into one buffer
    // would spend their time passing its cache lines between the cores.
    thread_local std::vector<char> buffer(1024 * 1024);
    ssize_t n = 0;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    return ::close(fd) == 0 && n == 0;
}

// `size` bytes written in pieces, so that a gigabyte need not be held in memory.
bool writeSized(const std::string& path, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    static const std::vector<char> buffer(1024 * 1024, 'g');
    for (size_t done = 0; done < size; done += buffer.size()) {
        if (::write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
            return false;
        }
    }
    return ::close(fd) == 0;
}

// Runs 40 processes that only spin, so that a step meets a machine at load 40.
class Spinners {
public:
    Spinners() {
        for (int i = 0; i < kSpinners; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (volatile unsigned long n = 0;; n = n + 1) {
                }
            }
            if (pid > 0) {
                pids_.push_back(pid);
            }
        }
    }
    ~Spinners() {
        for (const pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Spinners(const Spinners&) = delete;
    Spinners& operator=(const Spinners&) = delete;

private:
    std::vector<pid_t> pids_;
};

// What `ls -l` does: the names, then each one's attributes.
bool listLong(const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return false;
    }
    bool fine = true;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat attributes {};
        fine = ::lstat((folder + "/" + entry->d_name).c_str(), &attributes) == 0 && fine;
    }
    ::closedir(listing);
    return fine;
}

// User and system seconds of `pid` and, with `workers`, of the processes it started.
double cpuSecondsOf(int pid, bool workers = true) {
    double total = 0;
    std::vector<std::string> pids = {std::to_string(pid)};
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + pids[0] + "/task", error)) {
        if (!workers) {
            break;
        }
        std::istringstream children(readFile(task.path().string() + "/children"));
        for (std::string child; children >> child;) {
            pids.push_back(child);
        }
    }
    for (const std::string& each : pids) {
        const std::string stat = readFile("/proc/" + each + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        long user = 0;
        long system = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) {
                user = std::stol(field);
            } else if (i == 15) {
                system = std::stol(field);
            }
        }
        total += static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return total;
}

// The daemon of the newest mount on `mountPoint`: one of an earlier mount there lives on while
// a copy of its mount does in another mount namespace (another program's tests).
int newestDaemonOf(const std::string& mountPoint) {
    int newest = -1;
    unsigned long long newestStart = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos ||
            !tools::isMountDaemonCommandLine(readFile(entry.path().string() + "/cmdline"),
                                             mountPoint)) {
            continue;
        }
        const std::string stat = readFile(entry.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        std::istringstream fields(close == std::string::npos ? "" : stat.substr(close + 2));
        std::string field;
        unsigned long long start = 0;
        for (int i = 3; i <= 22 && fields >> field; ++i) {
            if (i == 22) {
                start = std::stoull(field);
            }
        }
        if (newest < 0 || start > newestStart) {
            newest = std::stoi(name);
            newestStart = start;
        }
    }
    return newest;
}

double childrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool writeBig(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    static const std::vector<char> buffer(1024 * 1024, 'w');
    for (size_t done = 0; done < kBig; done += buffer.size()) {
        if (::write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
            return false;
        }
    }
    return ::close(fd) == 0;
}

class Bench {
public:
    Bench(TestDomain& domain, const std::string& scratch)
        : domain_(domain), scratch_(scratch), mountPoint_(scratch + "/mnt") {
        ::mkdir(mountPoint_.c_str(), 0755);
        smbclient_ = tools::findProgram("smbclient");
    }

    bool mount(const std::string& folder = tools()) {
        return runProgram(folder + "/mount_smbfs",
                          {"-f", "644", buildSmbUrl("alice", nullptr, domain_.server(), "alice"),
                           mountPoint_},
                          {}, password())
                   .status() == 0;
    }
    bool unmount(const std::string& folder = tools()) {
        return runProgram(folder + "/umount", {mountPoint_}, {}, std::nullopt).status() == 0;
    }
    bool list(const std::string& folder, const char* how = "-l") const {
        return runProgram("/bin/ls", {how, folder}, {}, std::nullopt).status() == 0;
    }
    // One smbclient session running `commands`; the password travels in its environment
    // (this is a benchmark, not the product).
    bool smbclient(const std::string& commands) const {
        const ProgramRun run =
            runProgram(smbclient_,
                       {"//127.0.0.1/alice", "-p", std::to_string(domain_.port()), "-U", "alice",
                        "-c", commands},
                       {{"PASSWD", password()}}, std::nullopt, std::chrono::seconds(120));
        return run.status() == 0;
    }
    std::string password() const { return domain_.user("alice").password; }
    int port() const { return domain_.port(); }
    const std::string& mountPoint() const { return mountPoint_; }
    const std::string& scratch() const { return scratch_; }
    bool hasSmbclient() const { return !smbclient_.empty(); }

private:
    TestDomain& domain_;
    std::string scratch_;
    std::string mountPoint_;
    std::string smbclient_;
};

constexpr size_t kGigabyte = 1024ul * 1024 * 1024;
constexpr size_t kParallelFile = 200ul * 1024 * 1024;
constexpr int kParallel = 4;
constexpr int kHuge = 50000;
constexpr int kFolder = 100;

// 4 KB open-read-close and `ls -l` of 100 files, one after the other, while `copying`.
void sampleWhile(const std::string& root, const std::atomic<bool>& copying,
                 std::vector<double>* reads, std::vector<double>* listings) {
    static std::vector<char> buffer(4096);
    for (int i = 0; copying; ++i) {
        reads->push_back(1000 * seconds([&] {
                             const std::string path =
                                 root + "/small/small-" + std::to_string(i % kSmall) + ".txt";
                             const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
                             const bool read =
                                 fd >= 0 && ::read(fd, buffer.data(), buffer.size()) == 4096;
                             return fd >= 0 && ::close(fd) == 0 && read;
                         }));
        listings->push_back(1000 * seconds([&] { return listLong(root + "/hundred"); }));
    }
}

// smbnetfs, the FUSE file system over the same library that Linux desks also use, where it is
// installed (Debian package smbnetfs): a mount of the whole network whose folder
// HOST:PORT/SHARE is the share. Its configuration lives in a home folder of its own.
class Smbnetfs {
public:
    Smbnetfs(const TestDomain& domain, const std::string& scratch, const std::string& password)
        : home_(scratch + "/smbnetfs-home"),
          mountPoint_(scratch + "/smbnetfs"),
          share_(mountPoint_ + "/127.0.0.1:" + std::to_string(domain.port()) + "/alice") {
        program_ = tools::findProgram("smbnetfs");
        ::mkdir(home_.c_str(), 0700);
        ::mkdir((home_ + "/.smb").c_str(), 0700);
        ::mkdir(mountPoint_.c_str(), 0755);
        const std::string config = home_ + "/.smb/smbnetfs.conf";
        writeFile(config, "auth \"alice\" \"" + password +
                              "\"\nsmb_query_browsers \"false\"\nuse_libsecret \"false\"\n");
        ::chmod(config.c_str(), 0600);  // it ignores logins in a file others can read
    }
    bool installed() const { return !program_.empty(); }
    bool mount() const {
        return runProgram(program_, {mountPoint_}, {{"HOME", home_}}).status() == 0 &&
               ::access((share_ + "/big.bin").c_str(), F_OK) == 0;
    }
    bool unmount() const {
        return runProgram("/bin/umount", {mountPoint_}).status() == 0 ||
               runProgram("/bin/fusermount", {"-u", mountPoint_}).status() == 0;
    }
    const std::string& share() const { return share_; }
    int daemon() const {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename().string();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            std::string words = readFile(entry.path().string() + "/cmdline");
            std::replace(words.begin(), words.end(), '\0', ' ');
            if (words == program_ + " " + mountPoint_ + " " ||
                words == "smbnetfs " + mountPoint_ + " ") {
                return std::stoi(name);
            }
        }
        return -1;
    }

private:
    std::string program_;
    std::string home_;
    std::string mountPoint_;
    std::string share_;
};

// A mounted client under test: how to mount it, the share's folder on it, its daemon.
struct Client {
    std::function<bool()> mount;
    std::function<bool()> unmount;
    std::string root;
    std::function<int()> daemon;
};

struct BusyFigures {
    std::vector<double> reads;      // ms, during the copies
    std::vector<double> listings;   // ms, during the copies
    std::vector<double> readers;    // s, 4 readers at once
    std::vector<double> listed;     // s, `ls -l` of 5,000 files
    std::vector<double> huge;       // s, `ls -l` of 50,000 files
    std::vector<double> cpu;        // CPU s per GB read
    std::vector<double> daemonCpu;  // of it, the daemon's own (without its workers)
};

template <typename Each>
bool together(const Each& each) {
    std::atomic<bool> fine{true};
    std::vector<std::thread> readers;
    for (int i = 0; i < kParallel; ++i) {
        readers.emplace_back([&fine, &each, i] { fine = each(i) && fine; });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    return fine.load();
}

// One round of the steps of a busy mount on `client`; with `listings`, the listings of 5,000
// and 50,000 files too, each on a fresh mount, so that nothing of the folder is cached.
bool measureBusyRound(const Bench& bench, const Client& client, bool listings, BusyFigures* out) {
    if (!client.mount()) {
        std::cerr << "mount-smb: could not mount for the busy steps" << std::endl;
        return false;
    }
    // Latency while a gigabyte is copied off the same mount.
    std::atomic<bool> copying{true};
    std::thread sampler(sampleWhile, std::cref(client.root), std::cref(copying), &out->reads,
                        &out->listings);
    const bool copiedWhole = readAll(client.root + "/gigabyte.bin");
    copying = false;
    sampler.join();
    if (!copiedWhole) {
        std::cerr << "mount-smb: the copy failed" << std::endl;
        return false;
    }
    // CPU per GB: the daemon and its workers over a copy of their own.
    const int daemon = client.daemon();
    const double cpuBefore = cpuSecondsOf(daemon);
    const double daemonBefore = cpuSecondsOf(daemon, false);
    if (!readAll(client.root + "/gigabyte.bin")) {
        return false;
    }
    const double gigabytes = static_cast<double>(kGigabyte) / (1024.0 * 1024 * 1024);
    out->cpu.push_back((cpuSecondsOf(daemon) - cpuBefore) / gigabytes);
    out->daemonCpu.push_back((cpuSecondsOf(daemon, false) - daemonBefore) / gigabytes);
    out->readers.push_back(seconds([&] {
        return together([&](int i) {
            return readAll(client.root + "/parallel-" + std::to_string(i) + ".bin");
        });
    }));
    if (listings) {
        for (const auto& [folder, figures] :
             {std::pair<const char*, std::vector<double>*>{"/many", &out->listed},
              {"/huge", &out->huge}}) {
            if (!client.unmount() || !client.mount()) {
                std::cerr << "mount-smb: remount failed" << std::endl;
                return false;
            }
            const std::string path = client.root + folder;
            figures->push_back(seconds([&] { return bench.list(path); }));
        }
    }
    return client.unmount();
}

// Samba's client library alone, without FUSE: `work` on a connection of its own in each of
// `processes` processes at once, as each of the daemon's workers has its own. Their CPU
// seconds together; negative when one failed.
double libraryAlone(
    const Bench& bench, int processes,
    const std::function<bool(tools::SmbConnection&, const SmbUrlParts&, int)>& work) {
    const double before = childrenCpuSeconds();
    std::vector<pid_t> children;
    for (int i = 0; i < processes; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::string error;
            const SmbUrlParts parts{"alice", std::nullopt, "127.0.0.1", bench.port(), "alice"};
            auto connection = tools::SmbConnection::create(
                tools::SmbLogin{"", "alice", bench.password()}, tools::kRequestBound, &error);
            const bool fine = connection != nullptr && work(*connection, parts, i);
            connection.reset();
            ::_exit(fine ? 0 : 1);
        }
        children.push_back(pid);
    }
    bool fine = true;
    for (const pid_t pid : children) {
        int status = 0;
        fine = pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0 && fine;
    }
    return fine ? childrenCpuSeconds() - before : -1;
}

// The whole file in the pieces the workers read.
bool libraryRead(tools::SmbConnection& connection, const SmbUrlParts& parts,
                 const std::string& path) {
    tools::SmbHandle file = nullptr;
    if (connection.open(tools::smbUrlFor(parts, path), O_RDONLY, 0, &file) != 0) {
        return false;
    }
    static thread_local std::vector<char> buffer(2 * 1024 * 1024);
    off_t at = 0;
    ssize_t n = 0;
    while ((n = connection.read(file, buffer.data(), buffer.size(), at)) > 0) {
        at += n;
    }
    return connection.close(file) == 0 && n == 0;
}

bool libraryList(tools::SmbConnection& connection, const SmbUrlParts& parts,
                 const std::string& path) {
    return connection.list(tools::smbUrlFor(parts, path),
                           [](const char*, const struct stat&) { return true; }) == 0;
}

// One round of the same steps by the library alone.
bool libraryRound(const Bench& bench, BusyFigures* out) {
    const double cpu = libraryAlone(bench, 1, [](auto& connection, const auto& parts, int) {
        return libraryRead(connection, parts, "/gigabyte.bin");
    });
    out->cpu.push_back(cpu / (static_cast<double>(kGigabyte) / (1024.0 * 1024 * 1024)));
    out->readers.push_back(seconds([&] {
        return libraryAlone(bench, kParallel, [](auto& connection, const auto& parts, int i) {
                   return libraryRead(connection, parts, "/parallel-" + std::to_string(i) + ".bin");
               }) >= 0;
    }));
    for (const auto& [folder, figures] :
         {std::pair<const char*, std::vector<double>*>{"/many", &out->listed},
          {"/huge", &out->huge}}) {
        const std::string path = folder;
        figures->push_back(seconds([&] {
            return libraryAlone(bench, 1, [&](auto& connection, const auto& parts, int) {
                       return libraryList(connection, parts, path);
                   }) >= 0;
        }));
    }
    return cpu >= 0;
}

std::string load() {
    std::string text = readFile("/proc/loadavg");
    return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

bool busyMount(Bench& bench, TestDomain& domain, int rounds) {
    const std::string server = domain.serverPath("alice");
    bool made = writeSized(server + "/gigabyte.bin", kGigabyte);
    for (int i = 0; i < kParallel; ++i) {
        made =
            writeSized(server + "/parallel-" + std::to_string(i) + ".bin", kParallelFile) && made;
    }
    ::mkdir((server + "/hundred").c_str(), 0755);
    for (int i = 0; i < kFolder; ++i) {
        made = writeFile(server + "/hundred/file-" + std::to_string(i) + ".txt", "x") && made;
    }
    ::mkdir((server + "/huge").c_str(), 0755);
    for (int i = 0; i < kHuge; ++i) {
        made = writeFile(server + "/huge/file-" + std::to_string(i) + ".txt", "x") && made;
    }
    if (!made) {
        std::cerr << "mount-smb: could not set up the busy mount" << std::endl;
        return false;
    }
    const auto clientOf = [&](const std::string& folder) {
        return Client{[&bench, folder] { return bench.mount(folder); },
                      [&bench, folder] { return bench.unmount(folder); }, bench.mountPoint(),
                      [&] { return newestDaemonOf(bench.mountPoint()); }};
    };
    const std::string base = baseTools();
    BusyFigures mine;
    BusyFigures based;
    BusyFigures library;
    const std::string loadBefore = load();
    // The builds and the library alternate round by round, so that a change of the machine's
    // load meets them alike.
    for (int round = 0; round < rounds; ++round) {
        if (!measureBusyRound(bench, clientOf(tools()), true, &mine) ||
            (!base.empty() && !measureBusyRound(bench, clientOf(base), true, &based)) ||
            !libraryRound(bench, &library)) {
            return false;
        }
    }
    const std::string loadAfter = load();

    // The wire floor: smbclient sessions, writing what they read to /dev/null.
    double smbclientCpu = childrenCpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        if (!bench.smbclient("get gigabyte.bin /dev/null")) {
            return false;
        }
    }
    smbclientCpu = (childrenCpuSeconds() - smbclientCpu) / rounds;
    std::vector<double> sessions;
    std::vector<double> listed;
    for (int round = 0; round < rounds; ++round) {
        sessions.push_back(seconds([&] {
            return together([&](int i) {
                return bench.smbclient("get parallel-" + std::to_string(i) + ".bin /dev/null");
            });
        }));
        listed.push_back(seconds([&] { return bench.smbclient("ls huge/*"); }));
    }

    const Smbnetfs smbnetfs(domain, bench.scratch(), bench.password());
    BusyFigures theirs;
    const bool compared = smbnetfs.installed();
    if (compared) {
        const Client other{[&] { return smbnetfs.mount(); }, [&] { return smbnetfs.unmount(); },
                           smbnetfs.share(), [&] { return smbnetfs.daemon(); }};
        // Its listing of 50,000 files takes some 40 s: once is enough to see where it stands.
        for (int round = 0; round < rounds; ++round) {
            if (!measureBusyRound(bench, other, round == 0, &theirs)) {
                smbnetfs.unmount();
                return false;
            }
        }
    } else {
        std::cerr << "mount-smb: smbnetfs is not installed; its column stays empty" << std::endl;
    }
    const auto other = [&](const char* format, double value) {
        if (compared) {
            std::printf(format, value);
        } else {
            std::printf(" |");
        }
    };

    std::printf("\nwhile a 1 GB copy runs on the same mount (%zu samples each; smbnetfs %zu)\n\n",
                mine.reads.size(), theirs.reads.size());
    std::printf("| request | median | p90 | p99 | smbnetfs p99 |\n|---|---|---|---|---|\n");
    for (const auto& [name, values, others] :
         {std::tuple<const char*, std::vector<double>*, std::vector<double>*>{
              "4 KB open-read-close", &mine.reads, &theirs.reads},
          {"ls -l of 100 files", &mine.listings, &theirs.listings}}) {
        std::printf("| %s | %.1f ms | %.1f ms | %.1f ms |", name, median(*values),
                    percentile(*values, 0.9), percentile(*values, 0.99));
        other(" %.1f ms |", compared ? percentile(*others, 0.99) : 0);
        std::printf("\n");
    }
    std::printf(
        "\n| step | mount_smbfs | smbclient | ratio | smbnetfs | ratio |\n"
        "|---|---|---|---|---|---|\n");
    const auto row = [&](const char* step, double ours, const char* floorStep, double floor,
                         double others) {
        std::printf("| %s | %.3f s | %s %.3f s | %.2fx |", step, ours, floorStep, floor,
                    ours / floor);
        other(" %.3f s |", others);
        other(" %.2fx |", others / floor);
        std::printf("\n");
    };
    row("4 readers of 4 files of 200 MB at once", median(mine.readers), "4 sessions",
        median(sessions), compared ? median(theirs.readers) : 0);
    row("ls -l of 50,000 files", median(mine.huge), "session + ls", median(listed),
        compared ? median(theirs.huge) : 0);
    std::printf("| CPU s per GB read | %.2f s | %.2f s | %.2fx |", median(mine.cpu), smbclientCpu,
                median(mine.cpu) / smbclientCpu);
    other(" %.2f s |", compared ? median(theirs.cpu) : 0);
    other(" %.2fx |", compared ? median(theirs.cpu) / smbclientCpu : 0);
    std::printf("\n");

    // Beside the floor: the same work by Samba's client library alone, without FUSE.
    std::printf("\nbeside the library alone (alternated rounds; load %s before, %s after)\n\n",
                loadBefore.c_str(), loadAfter.c_str());
    const bool hasBase = !base.empty();
    std::printf("| step | library alone | mount_smbfs | ratio |%s\n|---|---|---|---|%s\n",
                hasBase ? " base build | ratio |" : "", hasBase ? "---|---|" : "");
    for (const auto& [step, unit, figures] :
         {std::tuple<const char*, const char*, std::vector<double> BusyFigures::*>{
              "CPU per GB read (daemon and workers)", "s", &BusyFigures::cpu},
          {"4 readers of 4 files of 200 MB at once", "s", &BusyFigures::readers},
          {"ls -l of 5,000 files", "s", &BusyFigures::listed},
          {"ls -l of 50,000 files", "s", &BusyFigures::huge}}) {
        const double floor = median(library.*figures);
        const double ours = median(mine.*figures);
        std::printf("| %s | %.3f %s | %.3f %s | %.2fx |", step, floor, unit, ours, unit,
                    ours / floor);
        if (hasBase) {
            const double theirs = median(based.*figures);
            std::printf(" %.3f %s | %.2fx |", theirs, unit, theirs / floor);
        }
        std::printf("\n");
    }
    if (hasBase) {
        std::printf(
            "\nper round, mount_smbfs / base build / library alone "
            "(CPU per GB: the daemon's own share in brackets):\n");
        for (size_t i = 0; i < mine.cpu.size(); ++i) {
            std::printf(
                "  CPU/GB %.3f (%.3f) / %.3f (%.3f) / %.3f  readers %.2f / %.2f / %.2f  "
                "ls 5,000 %.2f / %.2f / %.2f  ls 50,000 %.2f / %.2f / %.2f\n",
                mine.cpu[i], mine.daemonCpu[i], based.cpu[i], based.daemonCpu[i], library.cpu[i],
                mine.readers[i], based.readers[i], library.readers[i], mine.listed[i],
                based.listed[i], library.listed[i], mine.huge[i], based.huge[i], library.huge[i]);
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    TestDomain domain;
    std::string error;
    if (!domain.start(&error)) {
        std::cerr << "mount-smb: " << error << std::endl;
        return 1;
    }
    TempHome home;
    Bench bench(domain, home.path());
    if (!bench.hasSmbclient()) {
        std::cerr << "mount-smb: smbclient is not installed" << std::endl;
        return 1;
    }
    // What the steps read, on the server's disk.
    const std::string server = domain.serverPath("alice");
    writeFile(server + "/big.bin", std::string(kBig, 'r'));
    ::mkdir((server + "/many").c_str(), 0755);
    for (int i = 0; i < kListed; ++i) {
        writeFile(server + "/many/file-" + std::to_string(i) + ".txt", "x");
    }
    ::mkdir((server + "/small").c_str(), 0755);
    const std::string fourKilobytes(4096, 's');
    for (int i = 0; i < kSmall; ++i) {
        writeFile(server + "/small/small-" + std::to_string(i) + ".txt", fourKilobytes);
    }
    writeFile(home.path() + "/local.bin", std::string(kBig, 'l'));
    const std::string downloads = home.path() + "/downloads";
    ::mkdir(downloads.c_str(), 0755);

    std::map<std::string, std::vector<double>> tool;
    std::map<std::string, std::vector<double>> floor;
    const char* busyOnly = std::getenv("QUORVANE_BENCH_BUSY_ONLY");
    if (busyOnly != nullptr && busyOnly[0] == '1') {
        return busyMount(bench, domain, rounds) ? 0 : 1;
    }
    for (int round = 0; round < rounds; ++round) {
        floor["mount"].push_back(seconds([&] { return bench.smbclient("ls"); }));
        tool["mount"].push_back(
            seconds([&] { return bench.mount() && bench.list(bench.mountPoint()); }));

        tool["read"].push_back(seconds([&] { return readAll(bench.mountPoint() + "/big.bin"); }));
        floor["read"].push_back(seconds([&] { return bench.smbclient("get big.bin /dev/null"); }));

        floor["write"].push_back(seconds(
            [&] { return bench.smbclient("put " + bench.scratch() + "/local.bin up.bin"); }));
        tool["write"].push_back(seconds([&] { return writeBig(bench.mountPoint() + "/up.bin"); }));

        // A fresh mount, so that nothing of the folder is cached by the kernel.
        if (!bench.unmount() || !bench.mount()) {
            std::cerr << "mount-smb: remount failed" << std::endl;
            return 1;
        }
        tool["list"].push_back(seconds([&] { return bench.list(bench.mountPoint() + "/many"); }));
        floor["list"].push_back(seconds([&] { return bench.smbclient("ls many/*"); }));
        if (!bench.unmount() || !bench.mount()) {
            std::cerr << "mount-smb: remount failed" << std::endl;
            return 1;
        }
        {
            const Spinners load;
            tool["busy names"].push_back(
                seconds([&] { return bench.list(bench.mountPoint() + "/many", "-1"); }));
            if (!bench.unmount() || !bench.mount()) {
                std::cerr << "mount-smb: remount failed" << std::endl;
                return 1;
            }
            tool["busy list"].push_back(
                seconds([&] { return bench.list(bench.mountPoint() + "/many"); }));
            floor["busy list"].push_back(seconds([&] { return bench.smbclient("ls many/*"); }));
            floor["busy names"] = floor["busy list"];
        }

        floor["small"].push_back(seconds([&] {
            return bench.smbclient("prompt OFF; recurse OFF; cd small; lcd " + downloads +
                                   "; mget *");
        }));
        tool["small"].push_back(seconds([&] {
            for (int i = 0; i < kSmall; ++i) {
                if (!readAll(bench.mountPoint() + "/small/small-" + std::to_string(i) + ".txt")) {
                    return false;
                }
            }
            return true;
        }));
        if (!bench.unmount()) {
            std::cerr << "mount-smb: unmount failed" << std::endl;
            return 1;
        }
    }

    const struct {
        const char* key;
        const char* step;
        const char* floorStep;
    } rows[] = {
        {"mount", "mount to usable (mount + first listing)", "session + ls"},
        {"read", "read 200 MB", "get"},
        {"write", "write 200 MB, complete on server", "put"},
        {"list", "ls -l of 5,000 files", "session + ls"},
        {"busy names", "ls of 5,000 names at load 40", "session + ls"},
        {"busy list", "ls -l of 5,000 files at load 40", "session + ls"},
        {"small", "read 1,000 files of 4 KB", "session + mget"},
    };
    std::printf("medians of %d alternated rounds\n\n", rounds);
    std::printf("| step | mount_smbfs | smbclient | ratio |\n|---|---|---|---|\n");
    for (const auto& row : rows) {
        const double mine = median(tool[row.key]);
        const double theirs = median(floor[row.key]);
        std::printf("| %s | %.3f s | %s %.3f s | %.2fx |\n", row.step, mine, row.floorStep, theirs,
                    mine / theirs);
    }
    std::fflush(stdout);
    return busyMount(bench, domain, rounds) ? 0 : 1;
}
