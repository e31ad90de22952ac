#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "MountTable.h"
#include "ProcessRunner.h"
#include "ShareHealth.h"

namespace quorvane {

class SecretStore;

inline constexpr std::chrono::seconds kUnmountTimeLimit{15};
inline constexpr std::chrono::seconds kServerFileTimeLimit{25};
/// How many group shares one logon tries at most; a school's share map names a dozen or two.
inline constexpr size_t kGroupShareLimit = 64;

/// Everything the engine needs to know about the machine it runs on. The engine keeps no
/// other state: every operation reads only this value, its arguments and the file system.
struct EngineConfig {
    /// The user's home folder; the mount root is "smbmounts" inside it.
    std::string homeFolder;
    /// Absolute path of the SMB mount tool and of the unmount tool.
    std::string mountTool;
    std::string unmountTool;
    /// The Kerberos ticket lister ("klist"); empty when the system has none.
    std::string ticketLister;
    /// The word that marks share map lines meant for this platform ("osx", "linux").
    std::string platformWord;
    /// The matching group shares past this many are named as not tried.
    size_t groupShareLimit = kGroupShareLimit;
    /// When true the password is left out of the SMB URL and handed to the mount tool on its
    /// standard input instead, so that it never shows on a process's argument list.
    bool passwordOnStandardInput = false;
    /// Where the diagnostic lines go; standard output when null.
    std::ostream* diagnostics = nullptr;
    /// How long one run of either tool may take before it is ended and counted as failed.
    std::chrono::milliseconds toolTimeLimit = kToolTimeLimit;
    /// An unmount tool gets less: a logout with several hung shares must not take minutes.
    std::chrono::milliseconds unmountTimeLimit = kUnmountTimeLimit;
    std::chrono::milliseconds stopGrace = kStopGrace;
    /// How long reading "mac.bat" or "shares.ini" from a share may take.
    std::chrono::milliseconds serverFileTimeLimit = kServerFileTimeLimit;
    /// True when the mount tool is this program's own, whose exit statuses name the cause of
    /// a failure; otherwise its last line on standard error does.
    bool mountToolExitStatusesKnown = false;
    /// True when the mount tool can tell which of a server's shares exist in one run
    /// ("--check"), so that names the server does not have are skipped without a run each.
    bool mountToolChecksShares = false;
    /// When raised, a running workflow ends its tool and stops; nothing when absent.
    const Interruption* interruption = nullptr;
    /// What is mounted at a path: the system's mount table unless set. Tests that may not
    /// mount give their stand-in tools a recorded table here instead.
    MountTableLookup mountTable;
    /// Where a password the user asked to keep is kept; none when null. Reconnect takes it
    /// when it is given no password.
    SecretStore* secrets = nullptr;
    /// How the shares' daemons are asked how their shares are, and handed a new password:
    /// checkShares and handPasswordToDaemon unless set. Tests give stand-in daemons here.
    std::function<std::vector<ShareCondition>(const std::vector<std::string>& folders,
                                              const std::vector<std::optional<MountEntry>>& mounts)>
        shareCheck;
    std::function<ShareCondition(const std::string& mountPoint, const std::string& password)>
        passwordHandover;

    /// The running platform's configuration: macOS uses its own tools, Linux this project's
    /// shipped beside the program.
    static EngineConfig platformDefault();
};

/// `$HOME` when it holds an absolute path, else the home folder of the user database's entry;
/// empty when neither is known.
std::string defaultHomeFolder();

/// The folder that holds the running executable, or an empty text when it cannot be told.
std::string executableFolder();

}  // namespace quorvane
