#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// Where this user's mount daemons listen: a folder only the user can enter, so no other user
// can take a daemon's name or listen in its place.
namespace quorvane::daemons {

/// The folder, made when missing: "$XDG_RUNTIME_DIR/quorvane" when that runtime folder is the
/// user's own and closed to others, otherwise "/tmp/quorvane-UID". Nothing (and `why`) when the
/// folder stands but is not a folder of this user's that only this user may enter.
std::optional<std::string> socketFolder(std::string* why = nullptr);

/// The path of the socket of the daemon `pid` in `folder`.
std::string socketPath(const std::string& folder, pid_t pid);

/// The pid a socket's file name stands for, or nothing for another name.
std::optional<pid_t> pidOfSocketName(const std::string& name);

/// The canonical path of the mount tool this installation runs, beside the running program.
std::string installedMountTool();

/// Whether the process `pid` runs the program at `canonicalProgram`. False when the system
/// does not let this process see which program that is.
bool runsProgram(pid_t pid, const std::string& canonicalProgram);

}  // namespace quorvane::daemons
