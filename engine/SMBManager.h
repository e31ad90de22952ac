#pragma once

#include <map>
#include <optional>
#include <set>
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
        bool fresh = false;    // mounted now by the tool, with the password given
        MountFailure failure;  // when not mounted
        bool interrupted = false;
    };
    struct GroupShareReport {
        std::vector<ShareProblem> failed;
        std::vector<std::string> overLimit;  // matching, but past the logon's limit
        std::vector<std::string> absent;     // matching, but the server has no such share
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

    /// Removes the empty folders of the mount root that hold no mount: what a workflow ended
    /// before it could clean up leaves behind. Never waits on a mount.
    void removeEmptyFolders() const;

    /// Releases everything in the mount root, with its outcome beside the message.
    /// `besideAStoppedWorkflow`: for the end of the session, when a workflow of this program
    /// has been told to stop and may still be winding down: the logout goes ahead without its
    /// lock instead of waiting. What that workflow still makes stays mounted.
    WorkflowResult logout(bool besideAStoppedWorkflow = false) const;
    /// Mounts again every share of the mount root that is mounted but broken (see
    /// ShareHealth.h), as user and server of its mount. An empty password uses the one kept
    /// in the configured secret store for that user and server, else the user's Kerberos
    /// ticket. The password is tried once per account before anything else; only once the
    /// server has taken it is it handed to the running daemons (so a program's open files
    /// stay open) and are broken mounts released to be mounted again. Without a password to
    /// hand, or with one the server refuses, nothing is released and the result says that the
    /// password is needed; a refused kept password is forgotten. Shares that work, and those
    /// whose server does not answer, are left alone.
    WorkflowResult reconnect(const std::string& password) const;
    /// The message of `logout` alone.
    std::string disconnectAllShares() const;

    const EngineConfig& config() const { return config_; }

private:
    struct ServerText {
        std::optional<std::string> text;
        std::string problem;  // why there is no text
    };

    /// What one run of the mount tool's share check said of a password.
    struct PasswordCheck {
        WorkflowResult::Password verdict = WorkflowResult::Password::NotAsked;  // not told
        MountFailure failure;                                                   // when not taken
        bool interrupted = false;
    };
    /// Logs on to `server` once with `password`, at `share`, and mounts nothing: the one try
    /// a password gets before it goes anywhere else.
    PasswordCheck checkPassword(const std::string& server, const std::string& urlUser,
                                const std::string& password, const std::string& share) const;
    /// Hands `password`, which the server has just taken, to the running daemons of `user`'s
    /// mounts of `server`; each keeps it once it has logged on with it. Each mount point asked
    /// with the daemon's answer.
    std::map<std::string, ShareCondition> handOverPassword(const std::string& server,
                                                           const std::string& user,
                                                           const std::string& password) const;
    /// The conditions of the shares of `listing`, asked of their daemons all at once.
    std::vector<ShareState> sharesOf(const MountRootListing& listing) const;
    MountAttempt releaseBrokenMount(const std::string& shareName, const std::string& mountPoint,
                                    ShareCondition condition) const;
    ServerText readServerText(const std::string& path) const;
    std::optional<std::string> foreignUserInMountRoot(const std::string& userName) const;
    std::vector<std::string> mountedShares() const;
    std::optional<std::string> mountedHomeFolder(const std::string& userName) const;
    std::string describeOverLimit(const std::vector<std::string>& skipped) const;
    /// Which of `shares` the server does not have, asked with one run of the mount tool;
    /// nothing when it cannot tell.
    std::set<std::string> absentShares(const std::vector<std::string>& shares,
                                       const std::string& server, const std::string& userName,
                                       const std::string& password) const;
    WorkflowResult finish(Outcome outcome, std::string message) const;

    /// A run of the mount tool with `password` on its standard input when so configured.
    ProcessRequest mountToolRequest(const std::string& password) const;
    /// The URL of a share for the mount tool, with the password in it unless it goes on the
    /// tool's standard input.
    std::string mountToolUrl(const std::string& userName, const std::string& password,
                             const std::string& server, const std::string& shareName) const;
    void printLine(const std::string& line) const;
    /// `force`: detach even while in use (macOS "umount -f", Linux a lazy unmount).
    ProcessResult runUnmountTool(const std::string& mountPoint, bool force = false) const;
    void removeReleasedMountPoint(const std::string& mountPoint) const;
    /// Unmounts netlogon if it is mounted and removes its folder whenever it is empty.
    void releaseNetlogon(const std::string& mountPoint) const;
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
