#pragma once

#include <optional>
#include <string>
#include <vector>

#include "EngineConfig.h"

namespace quorvane {

/// The share mounting engine. It holds only its configuration: every operation works from
/// its arguments and what the file system shows, so one instance may be made per call.
class SMBManager {
public:
    explicit SMBManager(EngineConfig config = EngineConfig::platformDefault());

    /// "<home>/smbmounts".
    std::string mountRoot() const;

    /// Mounts `shareName` of `server` at `mountPoint` unless a volume is mounted there already.
    bool mountShare(const std::string& shareName, const std::string& server,
                    const std::string& userName, const std::string& password,
                    const std::string& mountPoint) const;
    bool isAlreadyMounted(const std::string& mountPoint) const;

    /// The groups of the logon script at `scriptPath`, or nothing.
    std::optional<std::vector<std::string>> parseLogonScriptGroups(
        const std::string& scriptPath) const;

    /// Mounts every share of the share map at `shareMapPath` meant for this platform and one
    /// of `groups`.
    void mountMatchingGroupShares(const std::string& shareMapPath,
                                  const std::vector<std::string>& groups, const std::string& server,
                                  const std::string& userName, const std::string& password) const;

    /// The whole logon; returns the status message for the panel.
    std::string performLogon(const std::string& serverText, const std::string& userName,
                             const std::string& password) const;

    /// Unmounts `mountPoint` and removes its folder if it is then an empty, unmounted folder.
    void unmountVolume(const std::string& mountPoint) const;

    /// Releases everything in the mount root; returns the status message for the panel.
    std::string disconnectAllShares() const;

    const EngineConfig& config() const { return config_; }

private:
    void printLine(const std::string& line) const;
    ProcessResult runUnmountTool(const std::string& mountPoint) const;
    void removeReleasedMountPoint(const std::string& mountPoint) const;

    EngineConfig config_;
};

/// Markers and messages that the panel and the command line read.
namespace messages {
inline constexpr const char* kLogonFinished =
    "Logon workflow finished. Shares mapped under ~/smbmounts/";
inline constexpr const char* kLogonSuccessMarker = "finished";
inline constexpr const char* kLogoutSuccessMarker = "Successfully";
inline constexpr const char* kLogoutAlreadyMarker = "already disconnected";
bool isLogonSuccess(const std::string& message);
bool isLogoutSuccess(const std::string& message);
}  // namespace messages

}  // namespace quorvane
