#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ProcessRunner.h"
#include "Subprocess.h"

// What the tests against the real server share: the private domain of
// scripts/testdomain.sh, throw-away home folders, and running the built programs.
namespace quorvane::testing {

/// Folders fixed at configure time.
std::string sourceFolder();
std::string buildFolder();
std::string toolsFolder();  // where mount_smbfs and umount are built

/// Empty when real mounts can be made here; otherwise why not.
std::string whyNoRealMounts();
/// True under CI (CI=true), where a missing capability fails the test instead of skipping it.
bool underCi();

struct DemoUser {
    std::string name;
    std::string password;
    std::string groups;  // as in mac.bat; empty: the user has no mac.bat
};

/// One private smbd on loopback, started by the script and stopped with it.
class TestDomain {
public:
    TestDomain() = default;
    TestDomain(const TestDomain&) = delete;
    TestDomain& operator=(const TestDomain&) = delete;
    ~TestDomain();

    /// Builds a fresh domain in a new temporary folder and starts it; false and `error` when
    /// it cannot.
    bool start(std::string* error);
    void stop();
    bool running() const { return port_ != 0; }

    const std::string& folder() const { return folder_; }
    /// "127.0.0.1:PORT", as typed into the panel's server field.
    std::string server() const;
    int port() const { return port_; }
    const DemoUser& user(const std::string& name) const;
    /// The folder that holds share `share` (or the home share of user `share`) on the server.
    std::string serverPath(const std::string& share) const;
    /// The failed logons that the server logged for `user` so far.
    int failedLogons(const std::string& user) const;

private:
    std::string folder_;
    int port_ = 0;
    std::map<std::string, DemoUser> users_;
};

/// Runs a program of the build to its end with extra environment variables.
struct ProgramRun {
    ProcessResult child;
    int status() const { return child.exitStatus; }
    const std::string& out() const { return child.output; }
    const std::string& err() const { return child.errors; }
    /// The last non-empty line of standard output.
    std::string lastLine() const;
};
/// This process's environment with `overrides` set ("NAME=value" each).
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& overrides);
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      const std::optional<std::string>& input,
                      std::chrono::milliseconds limit = std::chrono::seconds(120),
                      const std::function<void(pid_t)>& started = {});

/// A throw-away home folder. On destruction every mount below it is released (the daemon
/// ended, the mount detached) before the folder is removed; removal never crosses a mount.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    const std::string& path() const { return path_; }
    std::string mountRoot() const { return path_ + "/smbmounts"; }
    /// HOME and the cache folder for a program run in this home.
    std::map<std::string, std::string> environment() const;
    /// Runs `quorvane-cli` with this home.
    ProgramRun cli(const std::vector<std::string>& arguments,
                   const std::optional<std::string>& input = std::nullopt) const;
    /// The same, telling `started` the program's pid as soon as it runs.
    ProgramRun cliWith(const std::vector<std::string>& arguments,
                       const std::optional<std::string>& input,
                       const std::function<void(pid_t)>& started) const;
    /// Mount points below this home, from the mount table.
    std::vector<std::string> mountsBelow() const;
    /// Visible names in the mount root, sorted.
    std::vector<std::string> mountRootEntries() const;
    /// Releases every mount below the home; true when none is left.
    bool releaseAll() const;

private:
    std::string path_;
};

/// The pid of the mount daemon serving `mountPoint`, or -1.
int daemonOf(const std::string& mountPoint);
/// Waits up to `limit` until no mount daemon serves `mountPoint`.
bool waitForNoDaemon(const std::string& mountPoint,
                     std::chrono::milliseconds limit = std::chrono::seconds(20));
/// Polls `condition` every 20 ms up to `limit`.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);
bool isMounted(const std::string& path);

}  // namespace quorvane::testing
