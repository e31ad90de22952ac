#include "ShareHealth.h"

#include "FileServices.h"

namespace quorvane {

bool isBroken(ShareCondition condition) {
    switch (condition) {
        case ShareCondition::Answering:
        case ShareCondition::NotAMount:
        case ShareCondition::Unknown:
            return false;
        default:
            return true;
    }
}

std::string describe(ShareCondition condition) {
    switch (condition) {
        case ShareCondition::Answering:
            return "answering";
        case ShareCondition::ServerNotAnswering:
            return "server not answering";
        case ShareCondition::PasswordRejected:
            return "password no longer accepted";
        case ShareCondition::TicketExpired:
            return "Kerberos ticket expired";
        case ShareCondition::ShareUnavailable:
            return "share no longer available";
        case ShareCondition::MountGone:
            return "disconnected";
        case ShareCondition::MountStuck:
            return "mount stopped";
        case ShareCondition::NotAMount:
            return "not mounted";
        case ShareCondition::Unknown:
            return "cannot be checked";
    }
    return "unknown";
}

std::vector<ShareState> checkMountRoot(const MountRootListing& listing,
                                       std::chrono::milliseconds limit) {
    return checkMountRoot(listing, [limit](const std::vector<std::string>& folders,
                                           const std::vector<std::optional<MountEntry>>& mounts) {
        return checkShares(folders, mounts, limit);
    });
}

std::vector<ShareState> checkMountRoot(const MountRootListing& listing, const ShareChecker& check) {
    std::vector<ShareState> states;
    std::vector<std::string> folders;
    std::vector<std::optional<MountEntry>> mounts;
    for (const MountRootEntry& entry : listing.entries) {
        folders.push_back(entry.path);
        mounts.push_back(entry.mount);
        states.push_back({entry.name, entry.mount, ShareCondition::NotAMount});
    }
    const std::vector<ShareCondition> conditions = check(folders, mounts);
    for (size_t i = 0; i < states.size() && i < conditions.size(); ++i) {
        states[i].condition = conditions[i];
    }
    return states;
}

}  // namespace quorvane
