#pragma once

#include <optional>
#include <string>
#include <vector>

#include "EngineConfig.h"
#include "MountFailure.h"
#include "ShareHealth.h"
#include "WorkflowResult.h"

namespace quorvane {

/// The share mounting engine. It holds only its configuration: every operation works from
/// its arguments and what the file system shows, so one instance may be made per call.
class SMBManager {
public:
    explicit SMBManager(EngineConfig config = EngineConfig::platformDefault());

    /// "<home>/smbmounts".
    std::string mountRoot() const;

    struct MountAttempt {
        bool mounted = false;
        MountFailure failure;  // when not mounted
        bool interrupted = false;
    };
    struct GroupShareReport {
        std::vector<ShareProblem> failed;
        std::optional<std::string> shareMapProblem;
        bool interrupted = false;
    };

    /// Mounts `shareName` of `server` at `mountPoint` unless a working volume is mounted there
    /// already; a broken one is released and mounted afresh.
    MountAttempt mountShare(const std::string& shareName, const std::string& server,
                            const std::string& userName, const std::string& password,
                            const std::string& mountPoint) const;
    bool isAlreadyMounted(const std::string& mountPoint) const;

    /// The groups of the logon script at `scriptPath`, or nothing.
    std::optional<std::vector<std::string>> parseLogonScriptGroups(
        const std::string& scriptPath) const;

    /// Mounts every share of the share map at `shareMapPath` meant for this platform and one
    /// of `groups`.
    GroupShareReport mountMatchingGroupShares(const std::string& shareMapPath,
                                              const std::vector<std::string>& groups,
                                              const std::string& server,
                                              const std::string& userName,
                                              const std::string& password) const;

    /// The whole logon, with its outcome beside the message for the panel.
    WorkflowResult logon(const std::string& serverText, const std::string& userName,
                         const std::string& password) const;
    /// The message of `logon` alone.
    std::string performLogon(const std::string& serverText, const std::string& userName,
                             const std::string& password) const;

    /// Unmounts `mountPoint` and removes its folder if it is then an empty, unmounted folder.
    void unmountVolume(const std::string& mountPoint) const;

    /// Releases everything in the mount root, with its outcome beside the message.
    WorkflowResult logout() const;
    /// Mounts again every share of the mount root that is mounted but broken (see
    /// ShareHealth.h), as user and server of its mount; an empty password uses the user's
    /// Kerberos ticket. Shares that work are left alone.
    WorkflowResult reconnect(const std::string& password) const;
    /// The message of `logout` alone.
    std::string disconnectAllShares() const;

    const EngineConfig& config() const { return config_; }

private:
    struct ServerText {
        std::optional<std::string> text;
        std::string problem;  // why there is no text
    };

    MountAttempt releaseBrokenMount(const std::string& shareName, const std::string& mountPoint,
                                    ShareCondition condition) const;
    ServerText readServerText(const std::string& path) const;
    std::optional<std::string> foreignUserInMountRoot(const std::string& userName) const;
    std::vector<std::string> mountedShares() const;
    WorkflowResult finish(Outcome outcome, std::string message) const;

    void printLine(const std::string& line) const;
    /// `force`: detach even while in use (macOS "umount -f", Linux a lazy unmount).
    ProcessResult runUnmountTool(const std::string& mountPoint, bool force = false) const;
    void removeReleasedMountPoint(const std::string& mountPoint) const;
    bool interrupted() const;

    EngineConfig config_;
};

/// Messages that the panel and the command line show.
namespace messages {
inline constexpr const char* kLogonFinished =
    "Logon workflow finished. Shares mapped under ~/smbmounts/";
inline constexpr const char* kLogonInterrupted =
    "Logon stopped. Shares mounted before stay mounted.";
inline constexpr const char* kNothingBroken = "Every mounted share works; nothing to reconnect.";
inline constexpr const char* kBusy =
    "Another logon or logout is running. Try again once it has finished.";
}  // namespace messages

}  // namespace quorvane
