// The mount tool beside smbclient (the wire floor) on the private test domain: mount to
// usable, reading and writing 200 MB, `ls -l` of 5,000 files, reading 1,000 files of 4 KB.
// Medians of ROUNDS rounds (default 5), the two clients alternating in each round.
//   build/bin/mount-smb [ROUNDS]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>

#include "SmbUrl.h"
#include "ToolProcess.h"
#include "TestDomain.h"

using namespace quorvane;
using namespace quorvane::testing;

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kBig = 200 * 1024 * 1024;
constexpr int kListed = 5000;
constexpr int kSmall = 1000;

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

bool readAll(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    static std::vector<char> buffer(1024 * 1024);
    ssize_t n = 0;
    while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
    }
    return ::close(fd) == 0 && n == 0;
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

    bool mount() {
        return runProgram(toolsFolder() + "/mount_smbfs",
                          {"-f", "644", buildSmbUrl("alice", nullptr, domain_.server(), "alice"),
                           mountPoint_},
                          {}, password())
                   .status() == 0;
    }
    bool unmount() {
        return runProgram(toolsFolder() + "/umount", {mountPoint_}, {}, std::nullopt).status() == 0;
    }
    bool list(const std::string& folder) {
        return runProgram("/bin/ls", {"-l", folder}, {}, std::nullopt).status() == 0;
    }
    // One smbclient session running `commands`; the password travels in its environment
    // (this is a benchmark, not the product).
    bool smbclient(const std::string& commands) {
        const ProgramRun run =
            runProgram(smbclient_,
                       {"//127.0.0.1/alice", "-p", std::to_string(domain_.port()), "-U", "alice",
                        "-c", commands},
                       {{"PASSWD", password()}}, std::nullopt, std::chrono::seconds(120));
        return run.status() == 0;
    }
    std::string password() const { return domain_.user("alice").password; }
    const std::string& mountPoint() const { return mountPoint_; }
    const std::string& scratch() const { return scratch_; }
    bool hasSmbclient() const { return !smbclient_.empty(); }

private:
    TestDomain& domain_;
    std::string scratch_;
    std::string mountPoint_;
    std::string smbclient_;
};

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
    return 0;
}
