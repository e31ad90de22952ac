#pragma once

#include <optional>
#include <string>

// What this project's own mount tool (mount_smbfs on Linux) tells its caller: one exit status
// per kind of failure, which the engine reads by name, and the one line its daemon sends the
// waiting tool.
namespace quorvane {

enum class MountExit : int {
    Mounted = 0,
    Failed = 1,             // anything not listed below
    BadUsage = 2,           // bad options or a malformed URL
    BadMountPoint = 3,      // missing, not a folder, busy or already mounted
    WrongPassword = 4,      // the server refused the logon (or the ticket)
    ShareUnavailable = 5,   // unknown or forbidden share
    ServerUnreachable = 6,  // not found, refused, or no answer in time
    FuseUnavailable = 7,    // /dev/fuse or fusermount3 missing or not permitted
};

/// "mount_smbfs --check URL...": which of the shares a server has, with one logon, so that a
/// share map full of names the server does not have costs one tool run instead of one each.
/// It prints one of the words below per URL, one a line, in the order given, and exits 0; on
/// a failure of the logon it exits as a mount would.
inline constexpr const char* kCheckSharesOption = "--check";
inline constexpr const char* kSharePresent = "present";  // there, whether allowed or not
inline constexpr const char* kShareAbsent = "absent";    // no share of that name
inline constexpr const char* kShareUnknown = "unknown";  // the answer tells neither

/// "Exit status: 0 mounted, ..." for the tool's usage text.
std::string describeMountExits();

/// The daemon's one line to the tool that started it: the exit status and, for a failure, its
/// cause.
struct MountReport {
    int status = 1;
    std::string cause;
};
std::string formatReport(const MountReport& report);
/// Nothing until a whole line has arrived.
std::optional<MountReport> parseReport(const std::string& text);

}  // namespace quorvane
