#include <SMBManager.h>

#include <memory>

#include "Workflows.h"

namespace quorvane {

Workflows engineWorkflows() {
    // SMBManager holds only its configuration, so each call makes its own: nothing is shared
    // between the worker threads but the stop request, which is made for that.
    auto stop = std::make_shared<Interruption>();
    auto configured = [stop] {
        EngineConfig config = EngineConfig::platformDefault();
        config.interruption = stop.get();
        return SMBManager(config);
    };
    Workflows workflows;
    workflows.logon = [configured](const QString& serverText, const QString& userName,
                                   const QString& password) {
        return configured().logon(serverText.toStdString(), userName.toStdString(),
                                  password.toStdString());
    };
    // Logout takes no stop request: once asked for, it releases what it can, within its
    // bounds, rather than leave shares half released.
    workflows.logout = [] { return SMBManager().logout(); };
    workflows.reconnect = [configured](const QString& password) {
        return configured().reconnect(password.toStdString());
    };
    workflows.stop = [stop] { stop->raise(); };
    workflows.findTicket = [] {
        return findKerberosTicket(EngineConfig::platformDefault().ticketLister);
    };
    return workflows;
}

}  // namespace quorvane
