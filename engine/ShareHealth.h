#pragma once

#include <sys/types.h>
#include <chrono>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "MountTable.h"

namespace quorvane {

/// What is wrong with one folder of the mount root, decided from values only.
enum class ShareCondition {
    Answering,
    ServerNotAnswering,  // the server or the network does not answer
    PasswordRejected,    // the server no longer accepts the password of the mount
    TicketExpired,       // the server no longer accepts the user's Kerberos ticket
    ShareUnavailable,    // the server answers but no longer offers the share to this user
    MountGone,           // the daemon that served the mount has ended (ENOTCONN)
    MountStuck,          // the daemon is there but stopped (SIGSTOP)
    NotAMount,           // nothing is mounted on the folder
    Unknown,             // a mount whose daemon cannot be asked: not shown as working
};

/// Whether a share in this condition needs a repair that a remount can give.
bool isBroken(ShareCondition condition);

/// The condition in the user's words, e.g. "server not answering".
std::string describe(ShareCondition condition);

/// Longest that checkShares takes in all, however many shares and whatever the network does.
inline constexpr std::chrono::milliseconds kHealthLimit{4000};

/// The condition of each folder: `mounts[i]` is what the mount table holds for `folders[i]`
/// (nothing: not a mount). All shares are asked at once; the folders themselves are never
/// looked at, and nothing outlives the call that could keep a mount busy.
std::vector<ShareCondition> checkShares(const std::vector<std::string>& folders,
                                        const std::vector<std::optional<MountEntry>>& mounts,
                                        std::chrono::milliseconds limit = kHealthLimit);

/// Hands `password` to the daemon that serves `mountPoint` (a mount of this program's own
/// tool), which first logs on with it and then keeps it for its next reconnects and health
/// checks. The daemon's answer: Answering when it took the password, otherwise why not
/// (PasswordRejected: the server refused it); Unknown when no daemon of this user serves the
/// mount, when that daemon cannot be shown to run this installation's mount tool, when it
/// takes no more passwords for a while after refusals (and always with the system's own SMB
/// client, which keeps no daemon).
ShareCondition handPasswordToDaemon(const std::string& mountPoint, const std::string& password,
                                    std::chrono::milliseconds limit = kHealthLimit);

/// One folder of the mount root and how its share is.
struct ShareState {
    std::string name;
    std::optional<MountEntry> mount;
    ShareCondition condition = ShareCondition::NotAMount;
};

/// How each of `mounts` is (the folders beside them): checkShares, or a test's stand-in.
using ShareChecker = std::function<std::vector<ShareCondition>(
    const std::vector<std::string>& folders, const std::vector<std::optional<MountEntry>>& mounts)>;

/// Every visible folder of `mountRoot`, checked at once; nothing when it cannot be listed.
std::vector<ShareState> checkMountRoot(const MountRootListing& listing,
                                       std::chrono::milliseconds limit = kHealthLimit);
/// The same, asking `check`.
std::vector<ShareState> checkMountRoot(const MountRootListing& listing, const ShareChecker& check);

/// What can be told of each mount at once, without asking its daemon: MountGone when the
/// daemon has ended, MountStuck when it is stopped; nothing otherwise (or no mount).
std::vector<std::optional<ShareCondition>> quickConditions(
    const std::vector<std::optional<MountEntry>>& mounts);

/// The pid of this user's mount daemon of each mount point, to watch for its end; nothing
/// where mounts have no daemon of this user's.
std::map<std::string, pid_t> mountDaemonPids();

/// The folder where the daemons of this user make and remove their sockets as they start and
/// end; nothing where there is none.
std::optional<std::string> daemonSocketFolder();

/// Ends the mount daemons of `mountPoints` that are stopped: once its mount is released one
/// would stay for ever. A running one is left to finish by itself. Nothing where mounts have no
/// daemon of this user's. The processes are looked through once for all of them.
void endStoppedDaemonsOf(const std::vector<std::string>& mountPoints);

}  // namespace quorvane
