#include <SMBManager.h>

#include "Workflows.h"

namespace quorvane {

Workflows engineWorkflows() {
    // SMBManager holds only its configuration, so each call makes its own: no state is
    // shared between the worker threads.
    Workflows workflows;
    workflows.logon = [](const QString& serverText, const QString& userName,
                         const QString& password) {
        return SMBManager().logon(serverText.toStdString(), userName.toStdString(),
                                  password.toStdString());
    };
    workflows.logout = [] { return SMBManager().logout(); };
    return workflows;
}

}  // namespace quorvane
