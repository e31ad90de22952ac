#pragma once

#include <string>
#include <vector>

#include "EngineConfig.h"

namespace quorvane::testing {

/// A fresh folder under /tmp that stands in for the user's home; whatever was mounted inside
/// it is unmounted and the folder removed when the value goes.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }
    std::string mountRoot() const { return path_ + "/smbmounts"; }

private:
    std::string path_;
};

/// Stand-ins for the mount and unmount tools: shell scripts that append their argument lists
/// (and what they read on standard input) to a log, and, when the tests run as root, really
/// mount a small tmpfs holding the files of a pretend server share.
class StandInTools {
public:
    StandInTools();
    ~StandInTools();

    std::string mountTool() const { return dir_ + "/mount_smbfs"; }
    std::string unmountTool() const { return dir_ + "/umount"; }

    /// Puts a file at the top of a share of the pretend server.
    void addServerFile(const std::string& share, const std::string& name,
                       const std::string& contents);
    /// Makes mounting `share` fail with `status`.
    void failMount(const std::string& share, int status);
    /// Makes every mount (or unmount) sleep this long first.
    void delayMount(int seconds);
    void delayUnmount(int seconds);
    /// Makes the unmount tool exit with `status` without unmounting.
    void failUnmount(int status);

    /// One entry per run of either tool: the tool's name followed by its arguments.
    std::vector<std::vector<std::string>> calls() const;
    /// What the mount tool read on standard input, one entry per run (empty when it read none).
    std::vector<std::string> standardInputs() const;

    EngineConfig configFor(const TempHome& home, bool passwordOnStandardInput = false) const;

private:
    void writeFlag(const std::string& name, const std::string& contents);
    std::string dir_;
};

/// True when this process may mount (a tmpfs) and so the stand-ins mount for real.
bool canMount();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);
std::vector<std::string> splitLines(const std::string& text);
/// Mount points listed in /proc/self/mountinfo that lie under `folder`.
std::vector<std::string> mountsUnder(const std::string& folder);

}  // namespace quorvane::testing
