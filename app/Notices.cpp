#include "Notices.h"

namespace quorvane {

namespace {

constexpr int kNamesListed = 5;

QString listed(const QStringList& names) {
    const QString shown = names.mid(0, kNamesListed).join(QStringLiteral(", "));
    const int more = static_cast<int>(names.size()) - kNamesListed;
    return more > 0 ? QStringLiteral("%1 and %2 more").arg(shown).arg(more) : shown;
}

}  // namespace

std::optional<Notice> noticeFor(Workflow workflow, Outcome outcome, const QString& statusMessage,
                                const QStringList& mountedShares) {
    const int count = static_cast<int>(mountedShares.size());
    if (outcome == Outcome::Interrupted) {
        return std::nullopt;
    }
    if (workflow == Workflow::logon) {
        if (outcome == Outcome::Failed) {
            return Notice{QStringLiteral("Logon failed"), statusMessage, true};
        }
        if (outcome == Outcome::PartlyDone) {
            return Notice{QStringLiteral("Logged on, not every share mounted"), statusMessage,
                          true};
        }
        const QString shares = count == 1 ? QStringLiteral("1 share mounted")
                                          : QStringLiteral("%1 shares mounted").arg(count);
        const QString body =
            count == 0
                ? QStringLiteral("%1 under ~/smbmounts.").arg(shares)
                : QStringLiteral("%1 under ~/smbmounts: %2.").arg(shares, listed(mountedShares));
        return Notice{QStringLiteral("Logged on"), body, false};
    }
    switch (outcome) {
        case Outcome::Succeeded:
        case Outcome::Interrupted:
            return std::nullopt;
        case Outcome::PartlyDone:
            return Notice{QStringLiteral("Some shares could not be released"),
                          QStringLiteral("Still mounted: %1. Close the files and folders open on "
                                         "them, then choose Logout again.")
                              .arg(listed(mountedShares)),
                          true};
        case Outcome::Failed:
            return Notice{QStringLiteral("Logout failed"), statusMessage, true};
    }
    return std::nullopt;
}

}  // namespace quorvane
