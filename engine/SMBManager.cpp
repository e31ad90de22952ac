#include "SMBManager.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iostream>
#include <thread>

#include "AccountName.h"
#include "BoundedCall.h"
#include "FileServices.h"
#include "FolderNames.h"
#include "LogonScript.h"
#include "MountSource.h"
#include "MountTable.h"
#include "MountToolStatus.h"
#include "ProcessRunner.h"
#include "ShareHealth.h"
#include "ShareMap.h"
#include "SmbUrl.h"
#include "TerminalText.h"
#include "UnicodeText.h"
#include "WorkflowLock.h"

namespace quorvane {

namespace {

// Each line of a tool's output escaped as one line, the line breaks kept.
std::string escapedLines(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string::npos ? text.size() : end;
        out += escapeControlCharacters(std::string_view(text).substr(start, stop - start));
        out += end == std::string::npos ? "" : "\n";
        start = stop + 1;
    }
    return out;
}

constexpr const char* kMountRootName = "smbmounts";
constexpr const char* kNetlogonShare = "netlogon";
constexpr const char* kLogonScriptName = "mac.bat";
constexpr const char* kShareMapName = "shares.ini";
constexpr const char* kNoSuchShare = "The server has no share of this name.";

// "mac.bat" and "shares.ini" are small text files: a larger file is refused, not read.
constexpr size_t kServerFileLimit = 4 * 1024 * 1024;

// Splits ".../smbmounts/NAME" into the folder and the last name.
std::pair<std::string, std::string> folderAndName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) {
        out += (out.empty() ? "" : ", ") + item;
    }
    return out;
}

// "A, B, C, D, E and 3 more": names that may run into the hundreds, in one line.
std::string listedNames(const std::vector<std::string>& names) {
    constexpr size_t kNamesShown = 5;
    std::string text = joined(
        {names.begin(), names.begin() + static_cast<long>(std::min(names.size(), kNamesShown))});
    if (names.size() > kNamesShown) {
        text += " and " + std::to_string(names.size() - kNamesShown) + " more";
    }
    return text;
}

std::string seconds(std::chrono::milliseconds duration) {
    return std::to_string((duration.count() + 999) / 1000) + " s";
}

}  // namespace

SMBManager::SMBManager(EngineConfig config) : config_(std::move(config)) {
    if (config_.diagnostics == nullptr) {
        config_.diagnostics = &std::cout;
    }
    if (!config_.mountTable) {
        config_.mountTable = [](const std::string& path) { return mountAt(path); };
    }
    if (!config_.shareCheck) {
        config_.shareCheck = [](const std::vector<std::string>& folders,
                                const std::vector<std::optional<MountEntry>>& mounts) {
            return checkShares(folders, mounts);
        };
    }
    if (!config_.passwordHandover) {
        config_.passwordHandover = [](const std::string& mountPoint, const std::string& password) {
            return handPasswordToDaemon(mountPoint, password);
        };
    }
    while (config_.homeFolder.size() > 1 && config_.homeFolder.back() == '/') {
        config_.homeFolder.pop_back();
    }
}

std::string SMBManager::mountRoot() const {
    return (config_.homeFolder == "/" ? "" : config_.homeFolder) + "/" + kMountRootName;
}

void SMBManager::printLine(const std::string& line) const {
    // Flushed at once so the lines keep their order with what the tools print.
    *config_.diagnostics << line << '\n' << std::flush;
}

bool SMBManager::interrupted() const {
    return config_.interruption != nullptr && config_.interruption->raised();
}

bool SMBManager::isAlreadyMounted(const std::string& mountPoint) const {
    return config_.mountTable(mountPoint).has_value();
}

// Called once an unmount has run: the folder goes only when it is no longer a mount point
// and holds nothing, so no file on a share that is still mounted can ever be deleted.
void SMBManager::removeReleasedMountPoint(const std::string& mountPoint) const {
    if (isAlreadyMounted(mountPoint)) {
        return;
    }
    const auto [folder, name] = folderAndName(mountPoint);
    files::removeEmptyFolder(folder, name);
}

// A mount whose daemon has gone or hangs answers nothing useful, and one whose server no longer
// takes its logon cannot recover: either is released so the share can be mounted afresh on the
// same folder. A dead mount is detached even while a program holds a file there: that program
// gets errors from its old handle, never the new mount's files.
SMBManager::MountAttempt SMBManager::releaseBrokenMount(const std::string& shareName,
                                                        const std::string& mountPoint,
                                                        ShareCondition condition) const {
    printLine(escapeControlCharacters(shareName) + " is mounted but does not work (" +
              describe(condition) + "). Releasing it to mount it again.");
    // One that no longer answers is detached: an orderly unmount would wait on it in vain.
    const bool silent =
        condition == ShareCondition::MountGone || condition == ShareCondition::MountStuck;
    runUnmountTool(mountPoint, silent);
    MountAttempt attempt;
    if (isAlreadyMounted(mountPoint)) {
        attempt.failure = {silent ? "A mount there no longer answers and could not be released."
                                  : "A mount there (" + describe(condition) +
                                        ") is still in use and could not be released.",
                           false};
    } else {
        endStoppedDaemonsOf({mountPoint});
        attempt.mounted = true;  // free to mount again
    }
    return attempt;
}

ProcessRequest SMBManager::mountToolRequest(const std::string& password) const {
    ProcessRequest request;
    request.executable = config_.mountTool;
    request.timeLimit = config_.toolTimeLimit;
    request.stopGrace = config_.stopGrace;
    request.interruption = config_.interruption;
    request.captureOutput = true;
    if (config_.passwordOnStandardInput) {
        // The tool drops one line break from the end of its input, as the command line does
        // from the user's: the one added here, so the password arrives as it was given.
        request.standardInput = password + "\r\n";
    } else {
        request.inheritStandardInput = false;
    }
    return request;
}

std::string SMBManager::mountToolUrl(const std::string& userName, const std::string& password,
                                     const std::string& server,
                                     const std::string& shareName) const {
    // Without a password the tool logs on with the user's Kerberos ticket.
    const bool passwordInUrl = !config_.passwordOnStandardInput && !password.empty();
    return buildSmbUrl(userName, passwordInUrl ? &password : nullptr, server, shareName);
}

SMBManager::MountAttempt SMBManager::mountShare(const std::string& shareName,
                                                const std::string& server,
                                                const std::string& userName,
                                                const std::string& password,
                                                const std::string& mountPoint) const {
    MountAttempt attempt;
    // Never mount onto the mount root itself or anywhere outside it.
    const auto [folder, name] = folderAndName(mountPoint);
    if (folder != mountRoot() || !isPlainFolderName(name)) {
        attempt.failure = {"Its name cannot stand as a folder in ~/smbmounts.", false};
        return attempt;
    }
    // Asked before the folder is created: creating a folder that stands on a dead network
    // mount could block, and an existing mount point needs no folder anyway.
    if (const std::optional<MountEntry> mount = config_.mountTable(mountPoint)) {
        const ShareCondition condition = config_.shareCheck({mountPoint}, {mount}).front();
        switch (condition) {
            case ShareCondition::Answering:
            case ShareCondition::Unknown:
            case ShareCondition::NotAMount:  // gone meanwhile: the tool says so
                printLine(escapeControlCharacters(shareName) +
                          " is already mounted. Skipping mount command.");
                attempt.mounted = true;
                return attempt;
            // Its daemon waits on the server: programs may still hold files there, so it is
            // left alone, and only a new mount can tell whether the server is gone.
            case ShareCondition::ServerNotAnswering:
                attempt.failure = {"The share mounted there is not answering.", false};
                return attempt;
            // A daemon that no longer runs, or is stopped, says nothing of the server.
            case ShareCondition::MountStuck:
            case ShareCondition::MountGone:
            case ShareCondition::PasswordRejected:
            case ShareCondition::TicketExpired:
            case ShareCondition::ShareUnavailable:
                if (MountAttempt released = releaseBrokenMount(shareName, mountPoint, condition);
                    !released.mounted) {
                    return released;
                }
                break;
        }
    }
    // Put there by another user while an older version left the mount root open to all: an
    // empty folder makes way for one of the user's own, anything else is left and refused.
    if (files::belongsToAnotherUser(mountPoint) && !files::removeEmptyFolder(folder, name)) {
        attempt.failure = {"Another user's file or folder stands in its place.", false};
        return attempt;
    }
    const bool folderWasThere = files::exists(mountPoint);
    files::createFolders(mountPoint);

    ProcessRequest request = mountToolRequest(password);
    request.arguments = {"-f", "777", mountToolUrl(userName, password, server, shareName),
                         mountPoint};
    const ProcessResult run = runProcess(request);
    // What the tool said still reaches the user's terminal, with what the server put in it
    // (share names among them) unable to steer that terminal.
    std::cout << escapedLines(run.output) << std::flush;
    std::cerr << escapedLines(run.errors) << std::flush;

    attempt.mounted = run.succeeded();
    attempt.fresh = attempt.mounted;
    if (!attempt.mounted) {
        attempt.interrupted = run.outcome == ProcessResult::Outcome::Interrupted;
        attempt.failure = describeMountFailure(run, config_.mountToolExitStatusesKnown);
        // A failed mount leaves no folder of its own making behind.
        if (!folderWasThere) {
            removeReleasedMountPoint(mountPoint);
        }
    }
    return attempt;
}

SMBManager::ServerText SMBManager::readServerText(const std::string& path) const {
    const auto read = callWithin(
        config_.serverFileTimeLimit, [path] { return files::readFileUpTo(path, kServerFileLimit); },
        [this] { return !interrupted(); });
    ServerText result;
    if (!read && interrupted()) {
        result.problem = "Stopped on request.";
        return result;
    }
    if (!read) {
        result.problem =
            "The server gave no answer within " + seconds(config_.serverFileTimeLimit) + ".";
        return result;
    }
    if (!read->bytes) {
        if (!files::exists(path)) {
            result.problem = "The file is missing.";
        } else {
            // "PATH: cause": the path is the user's own, the cause is what they need.
            const size_t colon = read->error.rfind(": ");
            std::string cause =
                colon == std::string::npos ? read->error : read->error.substr(colon + 2);
            if (!cause.empty()) {
                cause[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(cause[0])));
            }
            result.problem = "The file cannot be read: " + cause + ".";
        }
        return result;
    }
    // Windows editors like to start files with a byte-order mark; it is no part of line one.
    const std::string_view text = text::withoutByteOrderMark(*read->bytes);
    if (!text::isValidUtf8(text)) {
        result.problem = "The file is not UTF-8 text.";
        return result;
    }
    result.text = std::string(text);
    return result;
}

std::optional<std::vector<std::string>> SMBManager::parseLogonScriptGroups(
    const std::string& scriptPath) const {
    const ServerText read = readServerText(scriptPath);
    if (!read.text) {
        return std::nullopt;
    }
    return parseGroupLine(*read.text);
}

SMBManager::GroupShareReport SMBManager::mountMatchingGroupShares(
    const std::string& shareMapPath, const std::vector<std::string>& groups,
    const std::string& server, const std::string& userName, const std::string& password) const {
    GroupShareReport report;
    const ServerText read = readServerText(shareMapPath);
    if (!read.text) {
        report.shareMapProblem = read.problem;
        report.interrupted = interrupted();
        return report;
    }
    // Each share may cost a tool run and a mount: a share map of thousands of matching lines
    // must not hold the logon for minutes or flood the terminal.
    std::vector<std::string> shares;
    for (const std::string& share : matchingShareNames(*read.text, groups, config_.platformWord)) {
        // A name that starts with "." would be hidden from logout and never released.
        if (!isPlainFolderName(share) || share[0] == '.') {
            printLine("Skipping share \"" + escapeControlCharacters(share) +
                      "\": its name cannot stand as a folder in ~/smbmounts.");
        } else if (shares.size() == config_.groupShareLimit) {
            report.overLimit.push_back(escapeControlCharacters(share));
        } else {
            shares.push_back(share);
        }
    }
    std::optional<std::string> serverSilence;
    std::optional<std::set<std::string>> absent;  // asked once, at the first share refused
    for (size_t i = 0; i < shares.size(); ++i) {
        const std::string& share = shares[i];
        const std::string shown = escapeControlCharacters(share);
        if (serverSilence) {
            printLine("Skipping share " + shown + ": " + *serverSilence);
            report.failed.push_back({shown, *serverSilence});
            continue;
        }
        if (absent && absent->count(share) != 0) {
            printLine("Skipping share " + shown + ": " + kNoSuchShare);
            report.absent.push_back(shown);
            continue;
        }
        const std::string mountPoint = mountRoot() + "/" + share;
        printLine("User matches group criteria for " + shown + ". Mounting...");
        const MountAttempt attempt = mountShare(share, server, userName, password, mountPoint);
        if (attempt.interrupted || interrupted()) {
            report.interrupted = true;
            return report;
        }
        if (attempt.mounted) {
            continue;
        }
        if (attempt.failure.shareUnavailable && !absent && config_.mountToolChecksShares) {
            // Names the server does not have would each cost a run that ends the same way:
            // ask once which of this one and the rest it has.
            absent = absentShares({shares.begin() + static_cast<long>(i), shares.end()}, server,
                                  userName, password);
            if (absent->count(share) != 0) {
                report.absent.push_back(shown);
                continue;
            }
        }
        report.failed.push_back({shown, attempt.failure.cause});
        if (attempt.failure.serverGone || attempt.failure.passwordRefused) {
            // The rest would only wait out the same silence, one after another, or each cost
            // the account one more refused logon.
            serverSilence = attempt.failure.cause;
        }
    }
    if (!report.overLimit.empty()) {
        printLine(describeOverLimit(report.overLimit) + ".");
    }
    return report;
}

std::string SMBManager::describeOverLimit(const std::vector<std::string>& skipped) const {
    return "Not tried, beyond " + std::to_string(config_.groupShareLimit) +
           " group shares per logon: " + listedNames(skipped);
}

std::set<std::string> SMBManager::absentShares(const std::vector<std::string>& shares,
                                               const std::string& server,
                                               const std::string& userName,
                                               const std::string& password) const {
    ProcessRequest request = mountToolRequest(password);
    request.arguments = {kCheckSharesOption};
    for (const std::string& share : shares) {
        request.arguments.push_back(mountToolUrl(userName, password, server, share));
    }
    const ProcessResult run = runProcess(request);
    std::cerr << escapedLines(run.errors) << std::flush;
    std::vector<std::string_view> words = text::split(run.output, '\n');
    if (words.back().empty()) {
        words.pop_back();  // after the last line's break
    }
    std::set<std::string> absent;
    if (!run.succeeded() || words.size() != shares.size()) {
        return absent;  // each share is tried as before
    }
    for (size_t i = 0; i < shares.size(); ++i) {
        if (words[i] == kShareAbsent) {
            absent.insert(shares[i]);
        }
    }
    return absent;
}

SMBManager::PasswordCheck SMBManager::checkPassword(const std::string& server,
                                                    const std::string& urlUser,
                                                    const std::string& password,
                                                    const std::string& share) const {
    ProcessRequest request = mountToolRequest(password);
    request.arguments = {kCheckSharesOption, mountToolUrl(urlUser, password, server, share)};
    const ProcessResult run = runProcess(request);
    std::cerr << escapedLines(run.errors) << std::flush;
    PasswordCheck check;
    if (run.succeeded()) {
        check.verdict = WorkflowResult::Password::Taken;
        return check;
    }
    check.interrupted = run.outcome == ProcessResult::Outcome::Interrupted;
    check.failure = describeMountFailure(run, config_.mountToolExitStatusesKnown);
    if (check.failure.passwordRefused) {
        check.verdict = WorkflowResult::Password::Refused;
    }
    return check;
}

std::vector<ShareState> SMBManager::sharesOf(const MountRootListing& listing) const {
    return checkMountRoot(listing, config_.shareCheck);
}

std::optional<std::string> SMBManager::foreignUserInMountRoot(const std::string& userName) const {
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        if (!entry.mount) {
            continue;
        }
        const std::optional<std::string> owner = userOfMountSource(entry.mount->source);
        if (owner && !sameAccount(*owner, userName)) {
            return owner;
        }
    }
    return std::nullopt;
}

// The server knows "ALICE" and "alice" as one account, so its home is mounted once: on the
// folder of whichever spelling logged on first.
std::optional<std::string> SMBManager::mountedHomeFolder(const std::string& userName) const {
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        if (!entry.mount || entry.name == userName || !sameAccount(entry.name, userName)) {
            continue;
        }
        const std::optional<std::string> owner = userOfMountSource(entry.mount->source);
        if (!owner || sameAccount(*owner, userName)) {
            return entry.name;
        }
    }
    return std::nullopt;
}

std::vector<std::string> SMBManager::mountedShares() const {
    std::vector<std::string> mounted;
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        if (entry.mount) {
            mounted.push_back(entry.name);
        }
    }
    return mounted;
}

WorkflowResult SMBManager::finish(Outcome outcome, std::string message) const {
    return {outcome, std::move(message), mountedShares()};
}

WorkflowResult SMBManager::logon(const std::string& serverText, const std::string& typedUser,
                                 const std::string& password) const {
    const std::string typedHost = serverHostFromText(serverText);
    // This program's own tool reaches the server through Samba's client library.
    const std::string host =
        config_.mountToolExitStatusesKnown ? hostForSambaClient(typedHost) : typedHost;
    const std::string homeFailed = "Failed to mount initial user home directory.";

    if (config_.homeFolder.empty()) {
        // Never fall back to a "/smbmounts" at the top of the file system.
        return {Outcome::Failed,
                "Failed to create base ~/smbmounts folder: the home folder is not known",
                {}};
    }
    if (const auto problem = serverNameProblem(typedHost)) {
        std::string cause = *problem;
        cause[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(cause[0])));
        return {Outcome::Failed, homeFailed + " " + cause + ".", {}};
    }
    if (const auto error = files::createFolders(mountRoot())) {
        return {Outcome::Failed, "Failed to create base ~/smbmounts folder: " + *error, {}};
    }
    // Made by an earlier version with the umask's mode, the folder may be open to others, who
    // could then list the share names, hold the lock or put folders of their own in it.
    if (const auto error = files::keepPrivate(mountRoot())) {
        return {Outcome::Failed, "Failed to create base ~/smbmounts folder: " + *error, {}};
    }
    const std::optional<AccountName> account = parseAccountName(typedUser);
    if (!account) {
        return finish(Outcome::Failed,
                      homeFailed + " The user name \"" + escapeControlCharacters(typedUser) +
                          "\" is not of the form NAME, DOMAIN\\NAME or NAME@DOMAIN.");
    }
    // The domain only tells the server whose account it is; shares, folders and messages
    // know the user by name alone.
    const std::string& userName = account->user;
    const std::string urlUser = account->forUrl();
    if (!isPlainFolderName(userName)) {
        return finish(Outcome::Failed, homeFailed + " The user name \"" +
                                           escapeControlCharacters(userName) +
                                           "\" cannot stand as a folder in ~/smbmounts.");
    }
    const WorkflowLock lock(mountRoot());
    if (lock.busy()) {
        return finish(Outcome::Failed, messages::kBusy);
    }
    if (const auto owner = foreignUserInMountRoot(userName)) {
        return finish(Outcome::Failed, "Shares of user " + escapeControlCharacters(*owner) +
                                           " are still mounted under ~/smbmounts/. Log out "
                                           "first, then log on again.");
    }

    const std::string homeMountPoint =
        mountRoot() + "/" + mountedHomeFolder(userName).value_or(userName);
    printLine("Mounting user home directory target destination to: " +
              escapeControlCharacters(homeMountPoint));

    // A password is tried at the server once: by the home mount, or, with the home share
    // mounted already, by one check. A refusal ends the logon before anything else sees the
    // password: each daemon trying it would cost the account one more failed logon.
    WorkflowResult::Password verdict = WorkflowResult::Password::NotAsked;
    if (!password.empty() && config_.mountToolChecksShares && isAlreadyMounted(homeMountPoint)) {
        const PasswordCheck check = checkPassword(host, urlUser, password, userName);
        if (check.interrupted || interrupted()) {
            return finish(Outcome::Interrupted, messages::kLogonInterrupted);
        }
        if (check.verdict != WorkflowResult::Password::Taken) {
            WorkflowResult result = finish(Outcome::Failed, homeFailed + " " + check.failure.cause);
            result.password = check.verdict;
            result.serverAway = check.failure.serverGone;
            return result;
        }
        verdict = WorkflowResult::Password::Taken;
        // Shares still mounted from before may hold an old password: their daemons take this
        // one, so they and the files held open there work again without a remount.
        handOverPassword(host, userName, password);
    }

    const MountAttempt home = mountShare(userName, host, urlUser, password, homeMountPoint);
    if (home.interrupted || interrupted()) {
        return finish(Outcome::Interrupted, messages::kLogonInterrupted);
    }
    if (!home.mounted) {
        WorkflowResult result = finish(Outcome::Failed, homeFailed + " " + home.failure.cause);
        result.password =
            home.failure.passwordRefused ? WorkflowResult::Password::Refused : verdict;
        result.serverAway = home.failure.serverGone;
        return result;
    }
    if (home.fresh && !password.empty() && verdict == WorkflowResult::Password::NotAsked) {
        verdict = WorkflowResult::Password::Taken;
        handOverPassword(host, userName, password);  // the group shares still mounted
    }

    const ServerText script = readServerText(homeMountPoint + "/" + kLogonScriptName);
    if (interrupted()) {
        return finish(Outcome::Interrupted, messages::kLogonInterrupted);
    }
    const auto groups = script.text ? parseGroupLine(*script.text) : std::nullopt;
    if (!groups) {
        const std::string cause =
            script.text ? "It holds no \"set GROUPS=\" line." : script.problem;
        return finish(Outcome::Failed,
                      "Home mounted, but failed to read or find groups in mac.bat. " + cause);
    }
    printLine("Detected Active User Groups: " + formatGroupList(*groups));

    const std::string netlogonMountPoint = mountRoot() + "/" + kNetlogonShare;
    const MountAttempt netlogon =
        mountShare(kNetlogonShare, host, urlUser, password, netlogonMountPoint);
    if (netlogon.interrupted || interrupted()) {
        // The stop may have come as the mount was made: netlogon is only ever the logon's own.
        releaseNetlogon(netlogonMountPoint);
        return finish(Outcome::Interrupted, messages::kLogonInterrupted);
    }
    if (!netlogon.mounted) {
        return finish(
            Outcome::Failed,
            "User home mapped, but failed to connect to Netlogon share. " + netlogon.failure.cause);
    }
    const GroupShareReport report = mountMatchingGroupShares(
        netlogonMountPoint + "/" + kShareMapName, *groups, host, urlUser, password);
    releaseNetlogon(netlogonMountPoint);
    if (report.interrupted || interrupted()) {
        return finish(Outcome::Interrupted, messages::kLogonInterrupted);
    }

    std::string message = messages::kLogonFinished;
    if (report.shareMapProblem) {
        message += " The share map shares.ini could not be read: " + *report.shareMapProblem;
    }
    if (!report.failed.empty()) {
        std::vector<std::string> names;
        for (const ShareProblem& problem : report.failed) {
            names.push_back(problem.share);
        }
        message += " Not mounted: " + joined(names) + ".";
    }
    if (!report.absent.empty()) {
        message += " Not on the server: " + listedNames(report.absent) + ".";
    }
    if (!report.overLimit.empty()) {
        message += " " + describeOverLimit(report.overLimit) + ".";
    }
    const bool complete = !report.shareMapProblem && report.failed.empty() &&
                          report.absent.empty() && report.overLimit.empty();
    WorkflowResult result = finish(complete ? Outcome::Succeeded : Outcome::PartlyDone, message);
    result.password = netlogon.fresh ? WorkflowResult::Password::Taken : verdict;
    result.notMounted = report.failed;
    for (const std::string& share : report.absent) {
        result.notMounted.push_back({share, kNoSuchShare});
    }
    return result;
}

std::string SMBManager::performLogon(const std::string& serverText, const std::string& userName,
                                     const std::string& password) const {
    return logon(serverText, userName, password).message;
}

ProcessResult SMBManager::runUnmountTool(const std::string& mountPoint, bool force) const {
    ProcessRequest request;
    request.executable = config_.unmountTool;
    request.arguments = {mountPoint};
    if (force) {
        request.arguments.insert(request.arguments.begin(), "-f");
    }
    request.timeLimit = config_.unmountTimeLimit;
    request.stopGrace = config_.stopGrace;
    request.inheritStandardInput = false;
    return runProcess(request);
}

void SMBManager::unmountVolume(const std::string& mountPoint) const {
    const ProcessResult result = runUnmountTool(mountPoint);
    if (result.outcome == ProcessResult::Outcome::TimedOut) {
        return;  // the unmount may still be under way; leave the folder alone
    }
    removeReleasedMountPoint(mountPoint);
}

void SMBManager::releaseNetlogon(const std::string& mountPoint) const {
    if (isAlreadyMounted(mountPoint)) {
        unmountVolume(mountPoint);
    } else {
        removeReleasedMountPoint(mountPoint);
    }
}

void SMBManager::removeEmptyFolders() const {
    for (const MountRootEntry& entry : listMountRoot(mountRoot(), config_.mountTable).entries) {
        if (!entry.mount) {
            files::removeEmptyFolder(mountRoot(), entry.name);
        }
    }
}

WorkflowResult SMBManager::logout(bool besideAStoppedWorkflow) const {
    const std::string root = mountRoot();
    if (!files::exists(root)) {
        return {Outcome::Succeeded, "No shares mapped (smbmounts folder not found).", {}};
    }
    // Like a logon, a logout takes nothing from a mount root of another user's, and closes
    // one that an older version left open.
    if (const auto error = files::keepPrivate(root)) {
        return {Outcome::Failed, "Error while disconnecting: " + *error, {}};
    }
    const MountRootListing listing = listMountRoot(root, config_.mountTable);
    if (listing.error) {
        return {Outcome::Failed, "Error while disconnecting: " + *listing.error, {}};
    }
    if (listing.entries.empty()) {
        return {Outcome::Succeeded, "All shares are already disconnected.", {}};
    }
    const WorkflowLock lock(root);
    if (lock.busy() && !besideAStoppedWorkflow) {
        return finish(Outcome::Failed, messages::kBusy);
    }
    // At once (a few at a time for a crowded mount root): an unmount whose server is gone
    // waits on its daemon, and a dozen of those in a row would outlast the end of a session.
    constexpr size_t kUnmountsAtOnce = 16;
    std::vector<ProcessResult> results(listing.entries.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> unmounters;
    for (size_t t = 0; t < std::min(kUnmountsAtOnce, results.size()); ++t) {
        unmounters.emplace_back([&] {
            for (size_t i = next++; i < results.size(); i = next++) {
                results[i] = runUnmountTool(listing.entries[i].path);
                // At once, not after the slowest: a logout cut short at the end of a session
                // leaves no emptied folder behind. A tool past its time has been ended with
                // all it started: whatever it released by then is released.
                if (results[i].outcome != ProcessResult::Outcome::CouldNotStart) {
                    removeReleasedMountPoint(listing.entries[i].path);
                }
            }
        });
    }
    for (std::thread& unmounter : unmounters) {
        unmounter.join();
    }
    std::vector<std::string> inUse;
    std::vector<std::string> notAnswering;
    std::vector<std::string> released;
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        const std::string& name = listing.entries[i].name;
        const std::string& entry = listing.entries[i].path;
        const ProcessResult& result = results[i];
        if (result.outcome == ProcessResult::Outcome::CouldNotStart) {
            return finish(Outcome::Failed, "Error while disconnecting: " + result.error);
        }
        removeReleasedMountPoint(entry);
        if (result.outcome == ProcessResult::Outcome::TimedOut) {
            if (isAlreadyMounted(entry)) {
                notAnswering.push_back(escapeControlCharacters(name));
            }
            continue;
        }
        if (isAlreadyMounted(entry)) {
            inUse.push_back(escapeControlCharacters(name));
        } else {
            released.push_back(entry);
        }
    }
    // One look through the processes for all of them: one each would cost a second on a busy
    // machine with a dozen shares.
    endStoppedDaemonsOf(released);
    const size_t total = listing.entries.size();
    if (inUse.empty() && notAnswering.empty()) {
        return finish(Outcome::Succeeded,
                      "Successfully disconnected " + std::to_string(total) + " drive(s).");
    }
    std::string message = "Disconnected " +
                          std::to_string(total - inUse.size() - notAnswering.size()) + " of " +
                          std::to_string(total) + (total == 1 ? " share" : " shares");
    if (!inUse.empty()) {
        message += "; still in use: " + joined(inUse);
    }
    if (!notAnswering.empty()) {
        message +=
            "; no answer within " + seconds(config_.unmountTimeLimit) + ": " + joined(notAnswering);
    }
    return finish(Outcome::PartlyDone, message + ".");
}

std::string SMBManager::disconnectAllShares() const {
    return logout().message;
}

}  // namespace quorvane
