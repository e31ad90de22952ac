#pragma once

#include <QString>

namespace quorvane {

enum class Workflow { logon, logout };
enum class Outcome { succeeded, failed, partlyDone };

/// How a workflow ended, as the shell reads it: the one place that looks at what a workflow
/// handed back. `sharesStillMounted` counts the mount root's mounted entries afterwards; a
/// logout that leaves any of them is only partly done, whatever its message says.
Outcome readOutcome(Workflow workflow, const QString& statusMessage, int sharesStillMounted);

}  // namespace quorvane
