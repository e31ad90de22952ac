// Prints how long the engine's parsers take on large server files, and how much a complete
// logon costs beyond the bare runs of its tools.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LogonScript.h"
#include "ProcessRunner.h"
#include "SMBManager.h"
#include "ShareMap.h"

namespace {

using Clock = std::chrono::steady_clock;
using quorvane::EngineConfig;
using quorvane::SMBManager;

template <typename Work>
double medianMilliseconds(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::string shareMapOf(int lines, int groupsPerLine) {
    std::ostringstream map;
    for (int i = 0; i < lines; ++i) {
        if (i % 10 == 0) {
            map << "# block " << i << "\r\n";
            continue;
        }
        map << "  Share " << i << " :osx,win,linux: ";
        for (int g = 0; g < groupsPerLine; ++g) {
            map << (g ? ", " : "") << "Group" << (i * 7 + g) % 5000;
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

}  // namespace

int main() {
    // Parsers.
    const std::string bigMap = shareMapOf(10000, 4);
    std::string groupLine = "set GROUPS=";
    for (int i = 0; i < 1000; ++i) {
        groupLine += (i ? ":" : "") + std::string(" Group ") + std::to_string(i) + " ";
    }
    const std::string script = "@echo off\r\nnet use H: /home\r\n" + groupLine + "\r\n";
    const auto userGroups = groupsOf(20);

    size_t matched = 0;
    const double mapMs = medianMilliseconds(
        21, [&] { matched = quorvane::matchingShareNames(bigMap, userGroups, "osx").size(); });
    size_t parsedGroups = 0;
    const double scriptMs =
        medianMilliseconds(21, [&] { parsedGroups = quorvane::parseGroupLine(script)->size(); });
    std::printf("share map, 10,000 lines (%zu matching):  %8.3f ms  (target <= 5 ms)\n", matched,
                mapMs);
    std::printf("logon script, %zu groups on its line:   %8.3f ms  (target <= 5 ms)\n",
                parsedGroups, scriptMs);

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
    // Logons and bare runs take turns, so that a busy machine slows both alike.
    std::string message;
    std::vector<double> logonTimes;
    std::vector<double> spawnTimes;
    std::vector<double> ratios;
    for (int round = 0; round < 21; ++round) {
        logonTimes.push_back(medianMilliseconds(1, [&] {
            message = manager.performLogon("FS1", "alice", "secret");
            quiet.str("");
        }));
        spawnTimes.push_back(medianMilliseconds(1, [&] {
            for (int i = 0; i < kToolRuns; ++i) {
                quorvane::ProcessRequest request;
                request.executable = QUORVANE_BENCH_TOOL;
                request.standardInput = "secret";
                quorvane::runProcess(request);
            }
        }));
        ratios.push_back(logonTimes.back() / spawnTimes.back());
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const double logonMs = median(logonTimes);
    const double spawnMs = median(spawnTimes);
    std::filesystem::remove_all(home);
    if (message.find("finished") == std::string::npos) {
        std::printf("logon did not finish: %s\n", message.c_str());
        return 1;
    }
    std::printf("complete logon, 50 group shares:        %8.3f ms\n", logonMs);
    std::printf("%d bare runs of the same tool:           %8.3f ms\n", kToolRuns, spawnMs);
    std::printf("ratio logon / bare runs (median of 21):  %8.3f    (target <= 1.10)\n",
                median(ratios));
    return 0;
}
