#pragma once

#include <string>

#include "ProcessRunner.h"

namespace quorvane {

/// Why a run of the mount tool did not mount, in plain words for the panel.
struct MountFailure {
    std::string cause;  // one sentence, ending in "."
    /// The server did not answer at all: later mounts of the same logon would only wait for
    /// the same silence.
    bool serverGone = false;
    /// The server refused the user name and password (or the ticket).
    bool passwordRefused = false;
    /// The server has no such share, or does not let the user have it.
    bool shareUnavailable = false;
};

/// `exitStatusesKnown`: the tool is this program's own, whose exit statuses name the cause
/// (2 usage, 3 mount point, 4 password, 5 share, 6 server, 7 FUSE). Otherwise the tool's last
/// line on standard error is the cause.
MountFailure describeMountFailure(const ProcessResult& run, bool exitStatusesKnown);

/// The last non-empty line of `text`, without a leading "PROGRAM: ".
std::string lastMeaningfulLine(const std::string& text);

}  // namespace quorvane
