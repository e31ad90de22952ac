#include "SMBManager.h"

#include <iostream>

#include "FileServices.h"
#include "FolderNames.h"
#include "LogonScript.h"
#include "MountPoints.h"
#include "ProcessRunner.h"
#include "ShareMap.h"
#include "SmbUrl.h"
#include "UnicodeText.h"

namespace quorvane {

namespace {

constexpr const char* kMountRootName = "smbmounts";
constexpr const char* kNetlogonShare = "netlogon";
constexpr const char* kLogonScriptName = "mac.bat";
constexpr const char* kShareMapName = "shares.ini";

// "mac.bat" and "shares.ini" are small text files: a larger file is refused, not read.
constexpr size_t kServerFileLimit = 4 * 1024 * 1024;

// The text of a server file, or nothing when it is missing, unreadable, too large or not UTF-8.
std::optional<std::string> readServerText(const std::string& path) {
    const files::FileContents contents = files::readFileUpTo(path, kServerFileLimit);
    if (!contents.bytes) {
        return std::nullopt;
    }
    // Windows editors like to start files with a byte-order mark; it is no part of line one.
    const std::string_view text = text::withoutByteOrderMark(*contents.bytes);
    if (!text::isValidUtf8(text)) {
        return std::nullopt;
    }
    return std::string(text);
}

// Splits ".../smbmounts/NAME" into the folder and the last name.
std::pair<std::string, std::string> folderAndName(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Called once an unmount has run: the folder goes only when it is no longer a mount point
// and holds nothing, so no file on a share that is still mounted can ever be deleted.
void removeReleasedMountPoint(const std::string& mountPoint) {
    if (isMountRoot(mountPoint)) {
        return;
    }
    const auto [folder, name] = folderAndName(mountPoint);
    files::removeEmptyFolder(folder, name);
}

}  // namespace

namespace messages {
bool isLogonSuccess(const std::string& message) {
    return message.find(kLogonSuccessMarker) != std::string::npos;
}
bool isLogoutSuccess(const std::string& message) {
    return message.find(kLogoutSuccessMarker) != std::string::npos ||
           message.find(kLogoutAlreadyMarker) != std::string::npos;
}
}  // namespace messages

SMBManager::SMBManager(EngineConfig config) : config_(std::move(config)) {
    if (config_.diagnostics == nullptr) {
        config_.diagnostics = &std::cout;
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

bool SMBManager::isAlreadyMounted(const std::string& mountPoint) const {
    return isMountRoot(mountPoint);
}

bool SMBManager::mountShare(const std::string& shareName, const std::string& server,
                            const std::string& userName, const std::string& password,
                            const std::string& mountPoint) const {
    // Never mount onto the mount root itself or anywhere outside it.
    const auto [folder, name] = folderAndName(mountPoint);
    if (folder != mountRoot() || !isPlainFolderName(name)) {
        return false;
    }
    // Asked before the folder is created: creating a folder that stands on a dead network
    // mount could block, and an existing mount point needs no folder anyway.
    if (isAlreadyMounted(mountPoint)) {
        printLine(shareName + " is already mounted. Skipping mount command.");
        return true;
    }
    files::createFolders(mountPoint);

    ProcessRequest request;
    request.executable = config_.mountTool;
    request.timeLimit = config_.toolTimeLimit;
    const bool passwordOnInput = config_.passwordOnStandardInput;
    request.arguments = {
        "-f", "777",
        buildSmbUrl(userName, passwordOnInput ? nullptr : &password, server, shareName),
        mountPoint};
    if (passwordOnInput) {
        request.standardInput = password;
    }
    return runProcess(request).succeeded();
}

std::optional<std::vector<std::string>> SMBManager::parseLogonScriptGroups(
    const std::string& scriptPath) const {
    const std::optional<std::string> text = readServerText(scriptPath);
    if (!text) {
        return std::nullopt;
    }
    return parseGroupLine(*text);
}

void SMBManager::mountMatchingGroupShares(const std::string& shareMapPath,
                                          const std::vector<std::string>& groups,
                                          const std::string& server, const std::string& userName,
                                          const std::string& password) const {
    const std::optional<std::string> text = readServerText(shareMapPath);
    if (!text) {
        return;
    }
    for (const std::string& share : matchingShareNames(*text, groups, config_.platformWord)) {
        if (!isPlainFolderName(share)) {
            printLine("Skipping share \"" + share +
                      "\": its name cannot stand as a folder in ~/smbmounts.");
            continue;
        }
        const std::string mountPoint = mountRoot() + "/" + share;
        printLine("User matches group criteria for " + share + ". Mounting...");
        mountShare(share, server, userName, password, mountPoint);
    }
}

std::string SMBManager::performLogon(const std::string& serverText, const std::string& userName,
                                     const std::string& password) const {
    const std::string host = serverHostFromText(serverText);

    if (config_.homeFolder.empty()) {
        // Never fall back to a "/smbmounts" at the top of the file system.
        return "Failed to create base ~/smbmounts folder: the home folder is not known";
    }
    if (const auto error = files::createFolders(mountRoot())) {
        return "Failed to create base ~/smbmounts folder: " + *error;
    }

    const std::string homeMountPoint = mountRoot() + "/" + userName;
    printLine("Mounting user home directory target destination to: " + homeMountPoint);
    if (!mountShare(userName, host, userName, password, homeMountPoint)) {
        return "Failed to mount initial user home directory.";
    }

    const auto groups = parseLogonScriptGroups(homeMountPoint + "/" + kLogonScriptName);
    if (!groups) {
        return "Home mounted, but failed to read or find groups in mac.bat";
    }
    printLine("Detected Active User Groups: " + formatGroupList(*groups));

    const std::string netlogonMountPoint = mountRoot() + "/" + kNetlogonShare;
    if (!mountShare(kNetlogonShare, host, userName, password, netlogonMountPoint)) {
        return "User home mapped, but failed to connect to Netlogon share.";
    }
    mountMatchingGroupShares(netlogonMountPoint + "/" + kShareMapName, *groups, host, userName,
                             password);
    unmountVolume(netlogonMountPoint);
    return messages::kLogonFinished;
}

ProcessResult SMBManager::runUnmountTool(const std::string& mountPoint) const {
    ProcessRequest request;
    request.executable = config_.unmountTool;
    request.arguments = {mountPoint};
    request.timeLimit = config_.toolTimeLimit;
    return runProcess(request);
}

void SMBManager::unmountVolume(const std::string& mountPoint) const {
    const ProcessResult result = runUnmountTool(mountPoint);
    if (result.outcome == ProcessResult::Outcome::TimedOut) {
        return;  // the unmount may still be under way; leave the folder alone
    }
    removeReleasedMountPoint(mountPoint);
}

std::string SMBManager::disconnectAllShares() const {
    const std::string root = mountRoot();
    if (!files::exists(root)) {
        return "No shares mapped (smbmounts folder not found).";
    }
    const files::Listing listing = files::listVisibleEntries(root);
    if (listing.error) {
        return "Error while disconnecting: " + *listing.error;
    }
    if (listing.names.empty()) {
        return "All shares are already disconnected.";
    }
    for (const std::string& name : listing.names) {
        const std::string entry = root + "/" + name;
        const ProcessResult result = runUnmountTool(entry);
        if (result.outcome == ProcessResult::Outcome::CouldNotStart) {
            return "Error while disconnecting: " + result.error;
        }
        if (result.outcome != ProcessResult::Outcome::TimedOut) {
            removeReleasedMountPoint(entry);
        }
    }
    return "Successfully disconnected " + std::to_string(listing.names.size()) + " drive(s).";
}

}  // namespace quorvane
