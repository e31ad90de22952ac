#include <SMBManager.h>

#include "Workflows.h"

namespace quorvane {

Workflows engineWorkflows() {
    // SMBManager holds only its configuration, so each call makes its own: no state is
    // shared between the worker threads.
    Workflows workflows;
    workflows.logon = [](const QString& serverText, const QString& userName,
                         const QString& password) {
        const std::string message = SMBManager().performLogon(
            serverText.toStdString(), userName.toStdString(), password.toStdString());
        return QString::fromStdString(message);
    };
    workflows.logout = [] { return QString::fromStdString(SMBManager().disconnectAllShares()); };
    return workflows;
}

}  // namespace quorvane
