#include "MountSource.h"
#include "SMBManager.h"
#include "ShareHealth.h"
#include "TerminalText.h"
#include "WorkflowLock.h"

// Repair without retyping: every broken share of the mount root is mounted again from what its
// mount source says (server, user, share), with the password given or, when that is empty, the
// user's Kerberos ticket.
namespace quorvane {

namespace {

struct SourceParts {
    std::string server;  // host[:port] as the mount source shows it
    std::string user;
    std::string share;
};

// "smb://USER@HOST[:PORT]/SHARE", as the mount tools show their mounts.
std::optional<SourceParts> partsOfSource(const std::string& source) {
    const size_t slashes = source.find("//");
    const std::optional<std::string> user = userOfMountSource(source);
    if (slashes == std::string::npos || !user) {
        return std::nullopt;
    }
    const size_t hostStart = source.find('@', slashes) + 1;
    const size_t shareStart = source.find('/', hostStart);
    if (shareStart == std::string::npos || shareStart == hostStart ||
        shareStart + 1 >= source.size()) {
        return std::nullopt;
    }
    return SourceParts{source.substr(hostStart, shareStart - hostStart), *user,
                       source.substr(shareStart + 1)};
}

}  // namespace

WorkflowResult SMBManager::reconnect(const std::string& password) const {
    const WorkflowLock lock(mountRoot());
    if (lock.busy()) {
        return finish(Outcome::Failed, messages::kBusy);
    }
    size_t repaired = 0;
    std::vector<std::string> failed;
    for (const ShareState& share : checkMountRoot(listMountRoot(mountRoot(), config_.mountTable))) {
        if (!share.mount || !isBroken(share.condition)) {
            continue;
        }
        const std::optional<SourceParts> parts = partsOfSource(share.mount->source);
        if (!parts || parts->share != share.name) {
            failed.push_back(escapeControlCharacters(share.name) + " (" +
                             describe(share.condition) + ")");
            continue;
        }
        const MountAttempt attempt = mountShare(parts->share, parts->server, parts->user, password,
                                                mountRoot() + "/" + share.name);
        if (attempt.interrupted) {
            return finish(Outcome::Interrupted, messages::kLogonInterrupted);
        }
        if (attempt.mounted) {
            ++repaired;
        } else {
            failed.push_back(escapeControlCharacters(share.name) + " (" + attempt.failure.cause +
                             ")");
        }
    }
    if (failed.empty()) {
        return finish(Outcome::Succeeded,
                      repaired == 0 ? std::string(messages::kNothingBroken)
                                    : "Reconnected " + std::to_string(repaired) + " share(s).");
    }
    std::string message = "Could not reconnect: ";
    for (size_t i = 0; i < failed.size(); ++i) {
        message += (i > 0 ? ", " : "") + failed[i];
    }
    return finish(repaired > 0 ? Outcome::PartlyDone : Outcome::Failed, message);
}

}  // namespace quorvane
