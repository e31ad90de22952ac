#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "EngineConfig.h"

namespace quorvane {

/// Where the command line reads and writes. `in` gives the password; when it is std::cin and
/// a terminal, the password is typed without echo.
struct CommandLineStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

/// The server and user name that the panel saved, for `logon --auto`; empty where none is.
struct SavedLogon {
    std::string server;
    std::string user;
};

/// `quorvane logon|logout|status|--help` with `arguments` (the program name left out): the
/// panel's two workflows and a look at the mount root, from a terminal or a script, run by
/// an engine with `config` (its diagnostics go to `out` unless the config says otherwise).
/// Returns the exit status: 0 when the workflow succeeded (nothing to release counts), 1 when
/// it failed or was only partly done, 2 for bad usage, 128 + the signal when a logon was
/// stopped by SIGINT, SIGTERM or SIGHUP, 3 when `logon --auto` needs the user (no credential
/// at hand, or the kept password refused).
int runCommandLine(const std::vector<std::string>& arguments, const CommandLineStreams& streams,
                   EngineConfig config = EngineConfig::platformDefault(), SavedLogon saved = {});

/// The program's entry: the process's own streams and the platform's configuration, with
/// `secrets` where a password the user asks to keep is kept (none: this build keeps none).
int runCommandLine(int argc, char** argv, SecretStore* secrets = nullptr, SavedLogon saved = {});

}  // namespace quorvane
