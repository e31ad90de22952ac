#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "EngineConfig.h"
#include "ProcessRunner.h"
#include "SecretStore.h"

// What every test program shares: throw-away home folders, stand-in mount tools, running
// programs of the build, and small file helpers.
namespace quorvane::testing {

/// Folders fixed at configure time.
std::string sourceFolder();
std::string buildFolder();
std::string toolsFolder();  // where mount_smbfs and umount are built

/// True under CI (CI=true), where a missing capability fails a test instead of skipping it.
bool underCi();

/// The KEY=VALUE lines of a script's output (the test scripts report that way).
std::map<std::string, std::string> keyValues(const std::string& text);

/// A new, empty folder /tmp/STEM-XXXXXX, its path resolved.
std::string makeTempFolder(const std::string& stem);

// Skips the test for `missing` (why it cannot run here; empty when it can), or fails it under
// CI, where every test must run.
#define SKIP_IF_MISSING(missing)                            \
    if (const std::string why = (missing); !why.empty()) {  \
        if (::quorvane::testing::underCi()) {               \
            FAIL() << "CI must run this test, but " << why; \
        }                                                   \
        GTEST_SKIP() << why;                                \
    }

/// A program of the build (or any program) run to its end.
struct ProgramRun {
    ProcessResult result;
    int status() const { return result.exitStatus; }
    const std::string& out() const { return result.output; }
    const std::string& err() const { return result.errors; }
    /// The last non-empty line of standard output.
    std::string lastLine() const;
};
/// Runs `program` with this process's environment plus `environment`, output captured and
/// `input` (or /dev/null) on standard input. `started` learns the child's pid; `stop` ends it.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment = {},
                      const std::optional<std::string>& input = std::nullopt,
                      std::chrono::milliseconds limit = std::chrono::seconds(120),
                      std::function<void(pid_t)> started = nullptr,
                      const Interruption* stop = nullptr);
/// Runs the test script `script` (a path below the source folder) with bash, a fresh folder
/// /tmp/STEM-XXXXXX its first argument and `arguments` after it. The folder goes afterwards,
/// without crossing into a mount the script may have left there.
ProgramRun runScriptInTempFolder(const std::string& script, const std::string& stem,
                                 const std::vector<std::string>& arguments,
                                 std::chrono::milliseconds limit);

/// A loopback server that is not an SMB server: nothing listens on its port (Refusing), it
/// takes connections and never answers (Silent), or its accept queue is kept full so that the
/// kernel drops every further connection request, as a firewall would (Dropping).
class FakeServer {
public:
    enum class Kind { Refusing, Silent, Dropping };
    explicit FakeServer(Kind kind);
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;
    /// "127.0.0.1:PORT"
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
    int port_ = 0;
};

/// The local user "nobody", as a second user of this machine: commands run through setpriv,
/// which takes root. What it starts runs until the value goes.
class SecondUser {
public:
    ~SecondUser();
    /// Empty when commands can run as that user here; otherwise why not.
    static std::string whyNot();
    ProgramRun run(const std::vector<std::string>& command) const;
    void start(const std::vector<std::string>& command);

private:
    Interruption stop_;
    std::vector<std::thread> running_;
};

/// A fresh folder under /tmp that stands in for the user's home (its path resolved, as the
/// mount table lists it). On destruction every mount below it is released before the folder
/// is removed, and removal never crosses into a mount.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    std::string mountRoot() const { return path_ + "/smbmounts"; }
    /// HOME and the cache folder for a program run in this home.
    std::map<std::string, std::string> environment() const;
    /// Runs `quorvane-cli` with this home.
    ProgramRun cli(const std::vector<std::string>& arguments,
                   const std::optional<std::string>& input = std::nullopt) const;
    /// Runs `quorvane` (the build with the desktop's secret store) with this home, in a private
    /// D-Bus session with GNOME Keyring's Secret Service and a keyring kept in this home.
    ProgramRun desk(const std::vector<std::string>& arguments,
                    const std::optional<std::string>& input = std::nullopt) const;
    /// What that Secret Service holds for the program, or nothing.
    std::optional<std::string> keptSecret() const;
    /// Mount points below this home, from the system's mount table, in mount order.
    std::vector<std::string> mountsBelow() const;
    /// Visible names in the mount root, sorted.
    std::vector<std::string> mountRootEntries() const;
    /// Releases every mount below the home; true when none is left.
    bool releaseAll() const;

private:
    std::string path_;
};

/// How the stand-in mount tool mounts: by writing a line to a mount table of its own (no
/// privilege needed), or by really mounting a tmpfs (root only).
enum class MountMode { Recorded, RealTmpfs };
inline std::ostream& operator<<(std::ostream& out, MountMode mode) {
    return out << (mode == MountMode::Recorded ? "Recorded" : "RealTmpfs");
}

/// Stand-ins for the mount and unmount tools: shell scripts that append their argument lists
/// (and what they read on standard input) to a log and copy the files of a pretend server
/// share into the mount point.
class StandInTools {
public:
    explicit StandInTools(MountMode mode = MountMode::Recorded);
    ~StandInTools();
    StandInTools(const StandInTools&) = delete;
    StandInTools& operator=(const StandInTools&) = delete;

    std::string mountTool() const { return dir_ + "/mount_smbfs"; }
    std::string unmountTool() const { return dir_ + "/umount"; }

    /// Puts a file at the top of a share of the pretend server.
    void addServerFile(const std::string& share, const std::string& name,
                       const std::string& contents);
    /// Makes mounting `share` fail with `status`, saying `says` on standard error.
    void failMount(const std::string& share, int status, const std::string& says = "");
    /// Makes the pretend server have no share `share`: its mount fails with status 5, and the
    /// tool's "--check" calls it absent.
    void removeShare(const std::string& share);
    /// Makes every mount (or unmount) sleep this long first.
    void delayMount(int seconds);
    void delayUnmount(int seconds);
    /// Once `share` is mounted, the mount tool sends SIGUSR1 to the program that ran it and
    /// exits 0 when asked to stop: a stop request that comes just as the mount is made.
    void stopAfterMount(const std::string& share);
    /// Makes the pretend server take only `password`, handed over on standard input: a mount
    /// or check with another fails with the tool's status for a refused password (4).
    void acceptOnly(const std::string& password);
    /// Makes mounts show "smb://USER@HOST/SHARE" as their source, as this project's tool does,
    /// instead of "//HOST/SHARE".
    void showUsersInSources();
    /// Makes the unmount tool exit with `status` without unmounting.
    void failUnmount(int status);

    /// One entry per run of either tool: the tool's name followed by its arguments.
    std::vector<std::vector<std::string>> calls() const;
    /// What the mount tool read on standard input, one entry per run (empty when it read none).
    std::vector<std::string> standardInputs() const;
    /// Mount points below `folder`: from the stand-ins' own table when recorded, else the
    /// system's.
    std::vector<std::string> mountsBelow(const std::string& folder) const;

    /// The engine's configuration for `home`, with the stand-ins' mount table when recorded.
    EngineConfig configFor(const TempHome& home, bool passwordOnStandardInput = false) const;

private:
    void writeFlag(const std::string& name, const std::string& contents);
    std::vector<MountEntry> recordedTable() const;
    std::string dir_;
    MountMode mode_;
};

/// True when this process may mount (a tmpfs), so the stand-ins can mount for real.
bool canMount();

/// Polls `condition` every 20 ms up to `limit`.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds limit = std::chrono::seconds(10));

std::string readFile(const std::string& path);
/// Written and closed with plain calls, so that errors a file system reports at close count.
bool writeFile(const std::string& path, const std::string& contents);
std::vector<std::string> splitLines(const std::string& text);
bool isMounted(const std::string& path);

// The desktop's secret store, in memory.
class FakeSecretStore : public SecretStore {
public:
    std::optional<std::string> read() override { return kept; }
    bool write(const std::string& secret, std::string*) override {
        kept = secret;
        return true;
    }
    bool remove() override {
        kept.reset();
        return true;
    }
    std::optional<std::string> kept;
};

}  // namespace quorvane::testing
