#include <thread>

#include "ProcessRunner.h"
#include "ShareHealth.h"

namespace quorvane {

namespace {

// The system's SMB client reconnects by itself and keeps no daemon to ask: df asks the file
// system for its figures, in a child that is ended past the limit.
ShareCondition askFileSystem(const std::string& mountPoint, std::chrono::milliseconds limit) {
    ProcessRequest request;
    request.executable = "/bin/df";
    request.arguments = {"-P", mountPoint};
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.timeLimit = limit;
    const ProcessResult run = runProcess(request);
    switch (run.outcome) {
        case ProcessResult::Outcome::Exited:
            return run.exitStatus == 0 ? ShareCondition::Answering : ShareCondition::MountGone;
        case ProcessResult::Outcome::CouldNotStart:
            return ShareCondition::Unknown;
        default:
            return ShareCondition::ServerNotAnswering;
    }
}

}  // namespace

ShareCondition handPasswordToDaemon(const std::string&, const std::string&,
                                    std::chrono::milliseconds) {
    return ShareCondition::Unknown;  // the system's client keeps its own logon
}

std::vector<ShareCondition> checkShares(const std::vector<std::string>& folders,
                                        const std::vector<std::optional<MountEntry>>& mounts,
                                        std::chrono::milliseconds limit) {
    std::vector<ShareCondition> conditions(folders.size(), ShareCondition::NotAMount);
    std::vector<std::thread> askers;
    for (size_t i = 0; i < folders.size() && i < mounts.size(); ++i) {
        if (mounts[i]) {
            askers.emplace_back([&, i] { conditions[i] = askFileSystem(folders[i], limit); });
        }
    }
    for (std::thread& asker : askers) {
        asker.join();
    }
    return conditions;
}

// The system's SMB client keeps no daemon of the user's per mount.
void endStoppedDaemonsOf(const std::vector<std::string>&) {}

std::vector<std::optional<ShareCondition>> quickConditions(
    const std::vector<std::optional<MountEntry>>& mounts) {
    return std::vector<std::optional<ShareCondition>>(mounts.size());
}

std::map<std::string, pid_t> mountDaemonPids() {
    return {};
}

std::optional<std::string> daemonSocketFolder() {
    return std::nullopt;
}

}  // namespace quorvane
