#include "Notices.h"

#include <QCoreApplication>

#include "ShownText.h"
#include "StatusWords.h"

namespace quorvane {

namespace {

constexpr int kNamesListed = 5;

// The context under which translators find these texts.
struct NoticeTexts {
    Q_DECLARE_TR_FUNCTIONS(Notices)
};

QString listed(const QStringList& names) {
    QStringList first;
    for (const QString& name : names.mid(0, kNamesListed)) {
        first << serverText(name);
    }
    const QString shown = first.join(QStringLiteral(", "));
    const int more = static_cast<int>(names.size()) - kNamesListed;
    return more > 0 ? NoticeTexts::tr("%1 and %n more", nullptr, more).arg(shown) : shown;
}

// One line for each share that a logon left unmounted: its name and why.
QString reasons(const std::vector<ShareProblem>& notMounted) {
    QStringList lines;
    for (const ShareProblem& problem : notMounted) {
        lines << NoticeTexts::tr("%1: %2").arg(
            serverText(problem.share),
            serverText(statusWords(QString::fromStdString(problem.cause))));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

std::optional<Notice> noticeFor(Workflow workflow, Outcome outcome, const QString& statusMessage,
                                const QStringList& mountedShares,
                                const std::vector<ShareProblem>& notMounted) {
    const int count = static_cast<int>(mountedShares.size());
    const QString message = serverText(statusWords(statusMessage));
    if (outcome == Outcome::Interrupted) {
        return std::nullopt;
    }
    if (workflow == Workflow::logon) {
        if (outcome == Outcome::Failed) {
            return Notice{NoticeTexts::tr("Logon failed"), message, true};
        }
        if (outcome == Outcome::PartlyDone) {
            const QString mounted =
                NoticeTexts::tr("%n share(s) mounted under ~/smbmounts.", nullptr, count);
            if (notMounted.empty()) {
                // The share map itself could not be read: the message says why.
                return Notice{NoticeTexts::tr("Logged on, not every share mounted"),
                              message + QLatin1Char('\n') + mounted, true};
            }
            return Notice{NoticeTexts::tr("Logged on, %n share(s) not mounted", nullptr,
                                          static_cast<int>(notMounted.size())),
                          reasons(notMounted) + QLatin1Char('\n') + mounted, true};
        }
        const QString body =
            count == 0
                ? NoticeTexts::tr("%n share(s) mounted under ~/smbmounts.", nullptr, count)
                : NoticeTexts::tr("%n share(s) mounted under ~/smbmounts: %1.", nullptr, count)
                      .arg(listed(mountedShares));
        return Notice{NoticeTexts::tr("Logged on"), body, false};
    }
    switch (outcome) {
        case Outcome::Succeeded:
        case Outcome::Interrupted:
            return std::nullopt;
        case Outcome::PartlyDone:
            return Notice{
                NoticeTexts::tr("Some shares could not be released"),
                NoticeTexts::tr("Still mounted: %1. Close the files and folders open on them, then "
                                "choose Logout again.")
                    .arg(listed(mountedShares)),
                true};
        case Outcome::Failed:
            return Notice{NoticeTexts::tr("Logout failed"), message, true};
    }
    return std::nullopt;
}

}  // namespace quorvane
