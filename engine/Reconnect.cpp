#include <string.h>

#include <algorithm>
#include <thread>

#include "AccountName.h"
#include "KerberosTicket.h"
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

std::map<std::string, ShareCondition> SMBManager::handOverPassword(
    const std::string& server, const std::string& user, const std::string& password) const {
    std::vector<std::string> mountPoints;
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        const std::optional<SourceParts> parts =
            entry.mount ? partsOfSource(entry.mount->source) : std::nullopt;
        if (parts && sameAccount(parts->user, user) && sameServer(parts->server, server)) {
            mountPoints.push_back(entry.path);
        }
    }
    // All at once: each daemon logs on with the password before it answers, and a dozen of
    // those one after another could take a minute on a busy server. None is skipped for
    // another's slow answer: the server has just taken the password, and a daemon left out
    // keeps one it refuses.
    std::vector<ShareCondition> answers(mountPoints.size(), ShareCondition::Unknown);
    std::vector<std::thread> askers;
    for (size_t i = 0; i < mountPoints.size(); ++i) {
        askers.emplace_back(
            [&, i] { answers[i] = config_.passwordHandover(mountPoints[i], password); });
    }
    for (std::thread& asker : askers) {
        asker.join();
    }
    std::map<std::string, ShareCondition> byMountPoint;
    for (size_t i = 0; i < mountPoints.size(); ++i) {
        byMountPoint[mountPoints[i]] = answers[i];
    }
    return byMountPoint;
}

namespace {

// The broken shares of one account on one server, repaired with one password.
struct AccountRepair {
    SourceParts account;  // server, user and account of the first share; its share is the check's
    std::vector<std::pair<ShareState, SourceParts>> shares;
};

std::string namesOf(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i > 0 ? ", " : "") + names[i];
    }
    return text;
}

}  // namespace

WorkflowResult SMBManager::reconnect(const std::string& password) const {
    const WorkflowLock lock(mountRoot());
    if (lock.busy()) {
        return finish(Outcome::Failed, messages::kBusy);
    }
    size_t repaired = 0;
    std::vector<std::string> failed;
    std::vector<std::string> waiting;  // broken, left as they are until a password comes
    std::vector<AccountRepair> accounts;
    for (const ShareState& share : sharesOf(listMountRoot(mountRoot(), config_.mountTable))) {
        if (!share.mount || !isBroken(share.condition)) {
            continue;
        }
        const std::optional<SourceParts> parts = partsOfSource(share.mount->source);
        // A server that does not answer would only make a check wait: its daemon reconnects by
        // itself once the server is back.
        if (!parts || parts->share != share.name ||
            share.condition == ShareCondition::ServerNotAnswering) {
            failed.push_back(escapeControlCharacters(share.name) + " (" +
                             describe(share.condition) + ")");
            continue;
        }
        auto same = std::find_if(accounts.begin(), accounts.end(), [&](const AccountRepair& a) {
            return a.account.account == parts->account &&
                   sameServer(a.account.server, parts->server);
        });
        if (same == accounts.end()) {
            accounts.push_back({*parts, {}});
            same = accounts.end() - 1;
        }
        same->shares.emplace_back(share, *parts);
    }

    bool refused = false;
    std::optional<std::optional<KerberosTicket>> ticket;  // asked once, when needed
    for (const AccountRepair& repair : accounts) {
        std::string secret =
            password.empty()
                ? keptPasswordFor(config_.secrets, repair.account.user, repair.account.server)
                      .value_or(std::string())
                : password;
        const bool keptOne = password.empty() && !secret.empty();
        const auto waitForPassword = [&] {
            for (const auto& [share, parts] : repair.shares) {
                waiting.push_back(escapeControlCharacters(share.name));
            }
        };
        if (secret.empty()) {
            // Nothing to log on with but a Kerberos ticket: without one that serves this
            // account, a released share could not come back.
            if (!ticket) {
                ticket = config_.ticketLister.empty() ? std::nullopt
                                                      : findKerberosTicket(config_.ticketLister);
            }
            const std::string& urlAccount = repair.account.account;
            const size_t semicolon = urlAccount.find(';');
            const AccountName account{
                semicolon == std::string::npos ? "" : urlAccount.substr(0, semicolon),
                repair.account.user};
            if (!*ticket || !ticketServes(**ticket, repair.account.server, account)) {
                waitForPassword();
                continue;
            }
        }
        // One logon with the password before any mount is released or any daemon is given it.
        if (config_.mountToolChecksShares) {
            const PasswordCheck check = checkPassword(repair.account.server, repair.account.account,
                                                      secret, repair.account.share);
            if (check.interrupted || interrupted()) {
                wipeSecret(secret);
                return finish(Outcome::Interrupted, messages::kLogonInterrupted);
            }
            if (check.verdict == WorkflowResult::Password::Refused) {
                if (keptOne) {
                    // Tried again and again it could lock the account.
                    forgetKeptPassword(config_.secrets);
                }
                refused = true;
                wipeSecret(secret);
                waitForPassword();
                continue;
            }
            if (check.verdict != WorkflowResult::Password::Taken) {
                for (const auto& [share, parts] : repair.shares) {
                    failed.push_back(escapeControlCharacters(share.name) + " (" +
                                     check.failure.cause + ")");
                }
                wipeSecret(secret);
                continue;
            }
        }
        // The daemons that still serve their mounts take the password: a program's open files
        // there stay open, and the rest of the account's shares keep working with it later.
        const std::map<std::string, ShareCondition> handedOver =
            secret.empty() ? std::map<std::string, ShareCondition>{}
                           : handOverPassword(repair.account.server, repair.account.user, secret);
        std::optional<std::string> refusal;
        for (const auto& [share, parts] : repair.shares) {
            const std::string mountPoint = mountRoot() + "/" + share.name;
            const std::string shown = escapeControlCharacters(share.name);
            if (refusal) {
                failed.push_back(shown + " (" + *refusal + ")");
                continue;
            }
            if (const auto answer = handedOver.find(mountPoint);
                answer != handedOver.end() && answer->second == ShareCondition::Answering) {
                printLine(shown + " works again with the password.");
                ++repaired;
                continue;
            }
            const MountAttempt attempt =
                mountShare(parts.share, parts.server, parts.account, secret, mountPoint);
            if (attempt.interrupted) {
                wipeSecret(secret);
                return finish(Outcome::Interrupted, messages::kLogonInterrupted);
            }
            if (attempt.mounted) {
                ++repaired;
                continue;
            }
            failed.push_back(shown + " (" + attempt.failure.cause + ")");
            if (attempt.failure.passwordRefused) {
                refusal = attempt.failure.cause;  // changed meanwhile: never tried again
                if (keptOne) {
                    forgetKeptPassword(config_.secrets);
                }
            }
        }
        wipeSecret(secret);
    }

    if (!waiting.empty()) {
        std::string message =
            refused
                ? (password.empty() ? "The server refused the kept password, which is forgotten. "
                                    : "Wrong user name or password. ")
                : "";
        message +=
            "Nothing was released. The password is needed to reconnect " + namesOf(waiting) + ".";
        if (!failed.empty()) {
            message += " Could not reconnect: " + namesOf(failed) + ".";
        }
        WorkflowResult result =
            finish(repaired > 0 ? Outcome::PartlyDone : Outcome::Failed, message);
        result.passwordNeeded = true;
        result.password =
            refused ? WorkflowResult::Password::Refused : WorkflowResult::Password::NotAsked;
        return result;
    }
    if (failed.empty()) {
        WorkflowResult result =
            finish(Outcome::Succeeded,
                   repaired == 0 ? std::string(messages::kNothingBroken)
                                 : "Reconnected " + std::to_string(repaired) + " share(s).");
        result.password = repaired > 0 && !password.empty() ? WorkflowResult::Password::Taken
                                                            : WorkflowResult::Password::NotAsked;
        return result;
    }
    return finish(repaired > 0 ? Outcome::PartlyDone : Outcome::Failed,
                  "Could not reconnect: " + namesOf(failed));
}

}  // namespace quorvane
