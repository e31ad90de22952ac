#include <SMBManager.h>
#include <SecretStore.h>

#include <memory>

#include "DesktopSecretStore.h"
#include "Workflows.h"

namespace quorvane {

Workflows engineWorkflows() {
    // SMBManager holds only its configuration, so each call makes its own: nothing is shared
    // between the worker threads but the stop request, which is made for that, and the
    // secret store, which keeps no state between calls.
    auto stop = std::make_shared<Interruption>();
    auto secrets = std::make_shared<DesktopSecretStore>();
    auto configured = [stop, secrets] {
        EngineConfig config = EngineConfig::platformDefault();
        config.interruption = stop.get();
        config.secrets = secrets.get();
        return SMBManager(config);
    };
    Workflows workflows;
    workflows.logon = [configured, secrets](const QString& serverText, const QString& userName,
                                            const QString& password, bool remember) {
        const std::string server = serverText.toStdString();
        const std::string user = userName.toStdString();
        std::string secret = password.toStdString();
        WorkflowResult result = configured().logon(server, user, secret);
        if (const auto problem =
                keepPasswordOfLogon(secrets.get(), server, user, secret, remember, result)) {
            result.message += " " + *problem;
        }
        wipeSecret(secret);
        return result;
    };
    // Logout takes no stop request: once asked for, it releases what it can, within its
    // bounds, rather than leave shares half released.
    workflows.logout = [secrets] {
        forgetKeptPassword(secrets.get());
        return SMBManager().logout();
    };
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
