// Prints how long the engine's parsers take on large and hostile server files, and how much a
// complete logon costs beyond the bare runs of its tools. Every figure is the median of
// alternated rounds with the fastest and slowest round beside it, and the machine's load is
// printed with them: on a busy machine the rounds spread, the medians stay comparable.
//
//   engine_bench [--rounds N] [--parsers-only]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "FileServices.h"
#include "LogonScript.h"
#include "ProcessRunner.h"
#include "SMBManager.h"
#include "ShareMap.h"

namespace {

using Clock = std::chrono::steady_clock;
using quorvane::EngineConfig;
using quorvane::SMBManager;

struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

Spread spreadOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

// CPU time of this process alone (user and system), children not included.
double cpuMilliseconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs every workload once per round, in turn, so that a load that comes and goes slows all
// of them alike.
std::vector<Spread> alternated(int rounds, const std::vector<std::function<void()>>& workloads) {
    std::vector<std::vector<double>> times(workloads.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < workloads.size(); ++i) {
            times[i].push_back(millisecondsOf(workloads[i]));
        }
    }
    std::vector<Spread> spreads;
    for (auto& t : times) {
        spreads.push_back(spreadOf(t));
    }
    return spreads;
}

void printFigure(const char* what, const Spread& s, const char* target) {
    std::printf("%-52s %9.3f ms  (%.3f - %.3f)  %s\n", what, s.median, s.min, s.max, target);
}

void printLoad(const char* when) {
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("load average %s: %.2f %.2f %.2f on %ld cores\n", when, load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
}

// A 10,000-line share map as the field writes them: comment blocks, CR LF, four groups a line.
std::string shareMapOf(int lines, const std::string& groupWord) {
    std::ostringstream map;
    for (int i = 0; i < lines; ++i) {
        if (i % 10 == 0) {
            map << "# block " << i << "\r\n";
            continue;
        }
        map << "  Share " << i << " :osx,win,linux: ";
        for (int g = 0; g < 4; ++g) {
            map << (g ? ", " : "") << groupWord << (i * 7 + g) % 5000;
        }
        map << "\r\n";
    }
    return map.str();
}

std::vector<std::string> groupsOf(int count) {
    std::vector<std::string> groups;
    for (int i = 0; i < count; ++i) {
        groups.push_back("group" + std::to_string(i * 3));
    }
    return groups;
}

void write(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

long residentKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A sparse "mac.bat" that claims 1 GiB is refused unread. Run first, while the peak resident
// memory is still low, so that a read would show in it.
void benchOversizeFile() {
    char templ[] = "/tmp/quorvane-bench-XXXXXX";
    const std::string folder = ::mkdtemp(templ);
    const std::string sparse = folder + "/mac.bat";
    write(sparse, "set GROUPS=staff\r\n");
    if (::truncate(sparse.c_str(), 1LL << 30) != 0) {
        std::perror("truncate");
    }
    EngineConfig config;
    config.homeFolder = folder;
    config.mountTool = config.unmountTool = "/bin/false";
    config.platformWord = "osx";
    SMBManager manager(config);
    const long before = residentKilobytes();
    bool refused = false;
    const Spread sparseRead = spreadOf(
        {millisecondsOf([&] { refused = !manager.parseLogonScriptGroups(sparse).has_value(); })});
    printFigure("sparse 1 GiB mac.bat, refused unread", sparseRead, "");
    std::printf("%-52s %9.1f MB  (%s)\n", "  peak resident memory grown by",
                static_cast<double>(residentKilobytes() - before) / 1024,
                refused ? "refused" : "READ: not refused");
    std::filesystem::remove_all(folder);
}

void benchParsers(int rounds) {
    const std::string asciiMap = shareMapOf(10000, "Group");
    // The same map with a non-ASCII letter in every group: the ICU path throughout.
    const std::string unicodeMap = shareMapOf(10000, "Gr\xC3\xBCppe");
    std::string groupLine = "set GROUPS=";
    for (int i = 0; i < 1000; ++i) {
        groupLine += (i ? ":" : "") + std::string(" Group ") + std::to_string(i) + " ";
    }
    const std::string script = "@echo off\r\nnet use H: /home\r\n" + groupLine + "\r\n";
    const auto userGroups = groupsOf(20);

    // Hostile sizes: 100,000 groups in "mac.bat" and one share map line with 100,000 pieces,
    // none of them equal, so that every piece is compared.
    std::string hostileScript = "set GROUPS=";
    std::string hostileLine = "Everything:osx:";
    for (int i = 0; i < 100000; ++i) {
        hostileScript += (i ? ":" : "") + std::string("member") + std::to_string(i);
        hostileLine += (i ? "," : "") + std::string("other") + std::to_string(i);
    }
    const auto hostileGroups = *quorvane::parseGroupLine(hostileScript);

    size_t asciiMatches = 0;
    size_t unicodeMatches = 0;
    size_t groups = 0;
    size_t hostileMatches = 1;
    const auto unicodeGroups = [&] {
        std::vector<std::string> g;
        for (int i = 0; i < 20; ++i) {
            g.push_back("gr\xC3\xBCppe" + std::to_string(i * 3));
        }
        return g;
    }();
    const std::vector<Spread> s = alternated(
        rounds,
        {[&] { asciiMatches = quorvane::matchingShareNames(asciiMap, userGroups, "osx").size(); },
         [&] {
             unicodeMatches = quorvane::matchingShareNames(unicodeMap, unicodeGroups, "osx").size();
         },
         [&] { groups = quorvane::parseGroupLine(script)->size(); },
         [&] { groups += quorvane::parseGroupLine(hostileScript)->size(); },
         [&] {
             hostileMatches =
                 quorvane::matchingShareNames(hostileLine, hostileGroups, "osx").size();
         }});
    std::printf("\nparsers, median (fastest - slowest) of %d alternated rounds\n", rounds);
    printFigure("shares.ini, 10,000 lines, ASCII", s[0], "target <= 1 ms");
    printFigure("shares.ini, 10,000 lines, a non-ASCII letter a group", s[1], "");
    printFigure("mac.bat, 1,000 groups on its line", s[2], "target <= 5 ms");
    printFigure("mac.bat, 100,000 groups (0.9 MB)", s[3], "");
    printFigure("shares.ini line of 100,000 pieces, 100,000 groups", s[4], "");
    if (asciiMatches != 110 || unicodeMatches != 110 || hostileMatches != 0 || groups == 0) {
        std::printf("unexpected parse results: %zu %zu %zu\n", asciiMatches, unicodeMatches,
                    hostileMatches);
        std::exit(1);
    }
}

int benchLogon(int rounds) {
    // A complete logon with 50 matching group shares against a tool that succeeds at once.
    // The shares are never really mounted, so the server files sit in plain folders.
    char templ[] = "/tmp/quorvane-bench-XXXXXX";
    const std::string home = ::mkdtemp(templ);
    const std::string root = home + "/smbmounts";
    std::filesystem::create_directories(root + "/alice");
    std::filesystem::create_directories(root + "/netlogon");
    write(root + "/alice/mac.bat", "set GROUPS=staff:science\r\n");
    std::string shares;
    for (int i = 0; i < 50; ++i) {
        shares += "Share" + std::to_string(i) + ":linux:staff\n";
    }
    write(root + "/netlogon/shares.ini", shares);

    EngineConfig config;
    config.homeFolder = home;
    config.mountTool = QUORVANE_BENCH_TOOL;
    config.unmountTool = QUORVANE_BENCH_TOOL;
    config.platformWord = "linux";
    config.passwordOnStandardInput = true;
    std::ostringstream quiet;
    config.diagnostics = &quiet;
    const SMBManager manager(config);

    constexpr int kToolRuns = 53;  // home, netlogon, 50 group shares, netlogon released
    std::string message;
    std::vector<double> logonTimes;
    std::vector<double> spawnTimes;
    std::vector<double> logonCpu;
    std::vector<double> spawnCpu;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        // Which of the two goes first changes every round, so neither always runs warm.
        const auto logon = [&] {
            const double cpu = cpuMilliseconds();
            logonTimes.push_back(millisecondsOf([&] {
                message = manager.performLogon("FS1", "alice", "secret");
                quiet.str("");
            }));
            logonCpu.push_back(cpuMilliseconds() - cpu);
        };
        const auto bare = [&] {
            const double cpu = cpuMilliseconds();
            spawnTimes.push_back(millisecondsOf([&] {
                for (int i = 0; i < kToolRuns; ++i) {
                    quorvane::ProcessRequest request;
                    request.executable = QUORVANE_BENCH_TOOL;
                    request.standardInput = "secret";
                    quorvane::runProcess(request);
                }
            }));
            spawnCpu.push_back(cpuMilliseconds() - cpu);
        };
        if (round % 2 == 0) {
            logon();
            bare();
        } else {
            bare();
            logon();
        }
        ratios.push_back(logonTimes.back() / spawnTimes.back());
    }
    std::filesystem::remove_all(home);
    if (message.find("finished") == std::string::npos) {
        std::printf("logon did not finish: %s\n", message.c_str());
        return 1;
    }
    std::printf("\nlogon, median (fastest - slowest) of %d alternated rounds\n", rounds);
    printFigure("complete logon, 50 group shares", spreadOf(logonTimes), "");
    printFigure("53 bare runs of the same tool", spreadOf(spawnTimes), "");
    const Spread ratio = spreadOf(ratios);
    std::printf("%-52s %9.3f     (%.3f - %.3f)  target <= 1.05\n",
                "ratio logon / bare runs, round by round", ratio.median, ratio.min, ratio.max);
    std::printf("%-52s %9.3f\n", "ratio of the two medians",
                spreadOf(logonTimes).median / spreadOf(spawnTimes).median);
    // The program's own CPU time hardly depends on what else the machine runs.
    printFigure("  CPU time of this process in a logon", spreadOf(logonCpu), "");
    printFigure("  CPU time of this process in the bare runs", spreadOf(spawnCpu), "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 21;
    bool parsersOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--parsers-only") == 0) {
            parsersOnly = true;
        } else {
            std::fprintf(stderr, "usage: engine_bench [--rounds N] [--parsers-only]\n");
            return 2;
        }
    }
    printLoad("before");
    benchOversizeFile();
    benchParsers(rounds);
    const int status = parsersOnly ? 0 : benchLogon(rounds);
    printLoad("after");
    return status;
}
