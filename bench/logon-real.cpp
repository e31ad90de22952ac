// A complete logon against the private test domain, with real FUSE mounts: the user's home,
// "netlogon" and five group shares. Prints the wall time of the logon, the summed time of the
// platform tool runs, and what is left: the engine's own share. Then the same for the logout.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ProcessRunner.h"
#include "SMBManager.h"
#include "TestDomain.h"

using namespace quorvane;
using namespace quorvane::testing;

namespace {

struct ToolTimes {
    int runs = 0;
    double seconds = 0;
};

ToolTimes readTimes(const std::string& path) {
    ToolTimes times;
    std::ifstream file(path);
    std::string name;
    long long microseconds = 0;
    while (file >> name >> microseconds) {
        ++times.runs;
        times.seconds += microseconds / 1e6;
    }
    return times;
}

struct Sample {
    double wall;
    ToolTimes tools;
    // What the engine spent itself: the wall time less the tool runs and the timer's cost.
    double engineOwn() const;
    double engineShare() const { return engineOwn() / wall; }
};

double g_timerCost = 0;

double Sample::engineOwn() const {
    return wall - tools.seconds - g_timerCost * tools.runs;
}

void report(const char* what, std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end(),
              [](const Sample& a, const Sample& b) { return a.wall < b.wall; });
    const Sample& median = samples[samples.size() / 2];
    double best = 1;
    double worst = 0;
    for (const Sample& s : samples) {
        best = std::min(best, s.engineShare());
        worst = std::max(worst, s.engineShare());
    }
    std::printf(
        "%-7s median of %zu: wall %.3f s, %d tool runs %.3f s, engine's own %.4f s = "
        "%.2f%% (range %.2f%%-%.2f%%)\n",
        what, samples.size(), median.wall, median.tools.runs, median.tools.seconds,
        median.engineOwn(), 100 * median.engineShare(), 100 * best, 100 * worst);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (const std::string missing = whyNoRealMounts(); !missing.empty()) {
        std::cerr << "logon-real: " << missing << '\n';
        return 1;
    }
    TestDomain domain;
    std::string error;
    if (!domain.start(&error)) {
        std::cerr << "logon-real: " << error << '\n';
        return 1;
    }
    TempHome home;
    for (const auto& [name, value] : home.environment()) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    // The engine runs the timing stand-ins, which run the real tools.
    const std::string wrappers = home.path() + "/timed-tools";
    const std::string timesFile = home.path() + "/tool-times";
    ::mkdir(wrappers.c_str(), 0755);
    const std::string timer = executableFolder() + "/logon-real-timer";
    for (const char* tool : {"mount_smbfs", "umount", "calibrate"}) {
        if (::symlink(timer.c_str(), (wrappers + "/" + tool).c_str()) != 0) {
            std::cerr << "logon-real: cannot link the timer\n";
            return 1;
        }
    }
    ::setenv("QUORVANE_BENCH_TIMES", timesFile.c_str(), 1);

    // What the timer itself adds to each run (its own start and end), to take off again.
    double timerCost = 0;
    {
        constexpr int kCalibrationRuns = 40;
        ::unlink(timesFile.c_str());
        const auto started = std::chrono::steady_clock::now();
        for (int i = 0; i < kCalibrationRuns; ++i) {
            ProcessRequest request;
            request.executable = wrappers + "/calibrate";
            request.timeLimit = std::chrono::seconds(10);
            runProcess(request);
        }
        const double outside =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        timerCost = (outside - readTimes(timesFile).seconds) / kCalibrationRuns;
    }

    EngineConfig config = EngineConfig::platformDefault();
    config.homeFolder = home.path();
    config.mountTool = wrappers + "/mount_smbfs";
    config.unmountTool = wrappers + "/umount";
    std::ostringstream diagnostics;
    config.diagnostics = &diagnostics;
    const SMBManager manager(config);
    const DemoUser& alice = domain.user("alice");

    std::vector<Sample> logons;
    std::vector<Sample> logouts;
    for (int round = 0; round < rounds; ++round) {
        ::unlink(timesFile.c_str());
        auto started = std::chrono::steady_clock::now();
        const WorkflowResult logon = manager.logon(domain.server(), "alice", alice.password);
        const std::string& logonMessage = logon.message;
        const double logonWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const ToolTimes logonTools = readTimes(timesFile);
        const size_t mounted = home.mountsBelow().size();
        if (logon.outcome != Outcome::Succeeded || mounted != 6) {
            std::cerr << "logon-real: the logon did not complete (" << logonMessage << ", "
                      << mounted << " mounts)\n";
            return 1;
        }
        logons.push_back({logonWall, logonTools});

        ::unlink(timesFile.c_str());
        started = std::chrono::steady_clock::now();
        const WorkflowResult logout = manager.logout();
        const std::string& logoutMessage = logout.message;
        const double logoutWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (logout.outcome != Outcome::Succeeded || !home.mountsBelow().empty()) {
            std::cerr << "logon-real: the logout did not complete (" << logoutMessage << ")\n";
            return 1;
        }
        logouts.push_back({logoutWall, readTimes(timesFile)});
        std::printf(
            "round %d: logon %.3f s (tools %.3f s in %d runs), logout %.3f s (tools %.3f "
            "s in %d runs)\n",
            round + 1, logonWall, logonTools.seconds, logonTools.runs, logoutWall,
            logouts.back().tools.seconds, logouts.back().tools.runs);
    }
    std::printf(
        "Complete logon: home, netlogon and five group shares of a private smbd on "
        "loopback, real FUSE mounts.\n");
    std::printf("Timer cost per tool run, measured and taken off: %.2f ms\n", 1000 * timerCost);
    g_timerCost = timerCost;
    report("logon", logons);
    report("logout", logouts);
    return 0;
}
