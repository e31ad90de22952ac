// Stands in the engine's configuration for mount_smbfs or umount (by the name it is run
// under), runs the real tool with the same arguments and standard input, and appends how long
// that took to the file named by QUORVANE_BENCH_TIMES: "TOOL MICROSECONDS".
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ProcessRunner.h"

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    const std::string self = argv[0];
    const std::string name = self.substr(self.rfind('/') + 1);
    quorvane::ProcessRequest request;
    // "calibrate" measures this timer's own cost around a tool that does nothing.
    request.executable =
        name == "calibrate" ? "/bin/true" : std::string(QUORVANE_TOOLS_DIR) + "/" + name;
    request.arguments.assign(argv + 1, argv + argc);
    request.timeLimit = std::chrono::minutes(10);
    const quorvane::ProcessResult result = quorvane::runProcess(request);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    if (const char* times = std::getenv("QUORVANE_BENCH_TIMES")) {
        std::ofstream(times, std::ios::app) << name << ' ' << took.count() << '\n';
    }
    switch (result.outcome) {
        case quorvane::ProcessResult::Outcome::Exited:
            return result.exitStatus;
        case quorvane::ProcessResult::Outcome::Signalled:
            return 128 + result.signal;
        default:
            return 127;
    }
}
