#include "WorkflowOutcome.h"

#include <SMBManager.h>

namespace quorvane {

// The workflows tell their outcome by marker words in the message (the panel reads the same
// markers); the mount root says whether a logout really released everything.
Outcome readOutcome(Workflow workflow, const QString& statusMessage, int sharesStillMounted) {
    const std::string message = statusMessage.toStdString();
    if (workflow == Workflow::logon) {
        return messages::isLogonSuccess(message) ? Outcome::succeeded : Outcome::failed;
    }
    if (!messages::isLogoutSuccess(message)) {
        return Outcome::failed;
    }
    return sharesStillMounted > 0 ? Outcome::partlyDone : Outcome::succeeded;
}

}  // namespace quorvane
