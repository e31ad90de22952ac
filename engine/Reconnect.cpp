#include <string.h>

#include "MountSource.h"
#include "SMBManager.h"
#include "SecretStore.h"
#include "ShareHealth.h"
#include "SmbUrl.h"
#include "TerminalText.h"
#include "WorkflowLock.h"

// Repair without retyping: every broken share of the mount root is mounted again from what its
// mount source says (server, user, share), with the password given or, when that is empty, the
// one the user asked to keep, or the user's Kerberos ticket.
namespace quorvane {

namespace {

struct SourceParts {
    std::string server;   // host[:port] as the mount source shows it
    std::string user;     // without the domain
    std::string account;  // "DOMAIN;user" when the mount was made with a domain, else the user
    std::string share;
};

// "smb://[DOMAIN;]USER@HOST[:PORT]/SHARE", as the mount tools show their mounts.
std::optional<SourceParts> partsOfSource(const std::string& source) {
    const size_t slashes = source.find("//");
    const std::optional<std::string> user = userOfMountSource(source);
    if (slashes == std::string::npos || !user) {
        return std::nullopt;
    }
    const size_t at = source.find('@', slashes);
    const size_t hostStart = at + 1;
    const size_t shareStart = source.find('/', hostStart);
    // The account as the mount logged on: the same user of another domain is another account.
    const std::string userInfo = source.substr(slashes + 2, at - slashes - 2);
    const std::optional<std::string> account =
        percentDecode(userInfo.substr(0, userInfo.find(':')));
    if (shareStart == std::string::npos || shareStart == hostStart ||
        shareStart + 1 >= source.size() || !account) {
        return std::nullopt;
    }
    return SourceParts{source.substr(hostStart, shareStart - hostStart), *user, *account,
                       source.substr(shareStart + 1)};
}

bool sameServer(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

}  // namespace

WorkflowResult::Password SMBManager::handOverPassword(const std::string& server,
                                                      const std::string& user,
                                                      const std::string& password) const {
    WorkflowResult::Password verdict = WorkflowResult::Password::NotAsked;
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        const std::optional<SourceParts> parts =
            entry.mount ? partsOfSource(entry.mount->source) : std::nullopt;
        if (!parts || !sameAccount(parts->user, user) || !sameServer(parts->server, server)) {
            continue;
        }
        const ShareCondition answer = handPasswordToDaemon(entry.path, password);
        if (answer == ShareCondition::Answering) {
            verdict = WorkflowResult::Password::Taken;
        } else if (answer == ShareCondition::PasswordRejected &&
                   verdict == WorkflowResult::Password::NotAsked) {
            verdict = WorkflowResult::Password::Refused;
        } else if (answer == ShareCondition::ServerNotAnswering) {
            break;  // every further daemon would wait as long
        }
    }
    return verdict;
}

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
        std::string secret = password.empty()
                                 ? keptPasswordFor(config_.secrets, parts->user, parts->server)
                                       .value_or(std::string())
                                 : password;
        const bool keptOne = password.empty() && !secret.empty();
        const std::string mountPoint = mountRoot() + "/" + share.name;
        // The daemon still serves the mount: a password it takes repairs the share without a
        // remount, which a program holding a file there would block.
        if (share.condition == ShareCondition::PasswordRejected && !secret.empty() &&
            handPasswordToDaemon(mountPoint, secret) == ShareCondition::Answering) {
            printLine(escapeControlCharacters(share.name) + " works again with the password.");
            wipeSecret(secret);
            ++repaired;
            continue;
        }
        const MountAttempt attempt =
            mountShare(parts->share, parts->server, parts->account, secret, mountPoint);
        wipeSecret(secret);
        if (attempt.interrupted) {
            return finish(Outcome::Interrupted, messages::kLogonInterrupted);
        }
        if (attempt.mounted) {
            ++repaired;
            continue;
        }
        failed.push_back(escapeControlCharacters(share.name) + " (" + attempt.failure.cause + ")");
        if (attempt.failure.passwordRefused && keptOne) {
            // Tried again and again it could lock the account.
            forgetKeptPassword(config_.secrets);
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
