// Stands in the engine's configuration for mount_smbfs or umount (by the name it is run
// under), runs the real tool with the same arguments and standard input, and appends how long
// that took to the file named by QUORVANE_BENCH_TIMES: "TOOL MICROSECONDS".
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    const auto started = std::chrono::steady_clock::now();
    const std::string self = argv[0];
    const std::string name = self.substr(self.rfind('/') + 1);
    // "calibrate" measures this timer's own cost around a tool that does nothing.
    const std::string tool =
        name == "calibrate" ? "/bin/true" : std::string(QUORVANE_TOOLS_DIR) + "/" + name;
    std::vector<char*> arguments(argv, argv + argc);
    arguments[0] = const_cast<char*>(tool.c_str());
    arguments.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, arguments.data(), environ) != 0) {
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
    if (const char* times = std::getenv("QUORVANE_BENCH_TIMES")) {
        std::ofstream(times, std::ios::app) << name << ' ' << took.count() << '\n';
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
