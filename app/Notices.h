#pragma once

#include <QStringList>
#include <optional>

#include "WorkflowResult.h"

namespace quorvane {

enum class Workflow { logon, logout };

/// A desktop notification: the panel closes by itself, so what happened must reach the user
/// another way.
struct Notice {
    QString title;
    QString body;
    bool isWarning = false;
};

/// What to tell the user after a workflow; nothing for a complete logout, which the user
/// asked for and sees in the icon, nor for a logon stopped on request. `mountedShares` are
/// the mount root's mounted entries after the workflow; `notMounted` the shares a logon left
/// out, each told with its reason.
std::optional<Notice> noticeFor(Workflow workflow, Outcome outcome, const QString& statusMessage,
                                const QStringList& mountedShares,
                                const std::vector<ShareProblem>& notMounted = {});

}  // namespace quorvane
