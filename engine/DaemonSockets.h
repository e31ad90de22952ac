#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// Where this user's mount daemons listen: a folder only the user can enter, so no other user
// can take a daemon's name or listen in its place.
namespace quorvane::daemons {

/// The folder, made when missing: "/run/user/UID/quorvane" when the user's runtime folder is
/// there and closed to others, otherwise "/tmp/quorvane-UID". The same for every process of
/// the user, whatever its environment, so that a daemon started from the desktop is found from
/// a terminal too. Nothing (and `why`) when the folder stands but is not one of this user's
/// that only this user may enter.
std::optional<std::string> socketFolder(std::string* why = nullptr);

/// `path` as such a folder: made (0700) when missing; nothing (and `why`) when what stands
/// there is not a folder of this user's closed to everyone else (a link to one included).
std::optional<std::string> privateFolderAt(const std::string& path, std::string* why = nullptr);

/// The path of the socket of the daemon `pid` in `folder`.
std::string socketPath(const std::string& folder, pid_t pid);

/// The file that stands in `folder` while the server fails calls of the daemon `pid`.
std::string troubleMarkerPath(const std::string& folder, pid_t pid);

/// The daemon pid a file name of the folder (socket or marker) stands for, or nothing for
/// another name.
std::optional<pid_t> pidOfDaemonFile(const std::string& name);

/// Removes from `folder` the sockets and trouble marks of daemons that ended without removing
/// theirs (killed). A daemon this process cannot see (one in another pid namespace that shares
/// the folder) keeps its files as long as something listens on its socket.
void removeFilesOfEndedDaemons(const std::string& folder);

/// The canonical path of the mount tool this installation runs, beside the running program.
std::string installedMountTool();

/// Which program a process runs, as far as the system lets this process see.
enum class Program {
    Same,        // the program at the path asked about
    OlderBuild,  // the program that stood at that path when it started, replaced since
    Hidden,      // the system does not tell (a process that may not be dumped, as a daemon)
    Other,
};

/// What the process `pid` runs, against the program at `canonicalProgram`.
Program programOf(pid_t pid, const std::string& canonicalProgram);

}  // namespace quorvane::daemons
