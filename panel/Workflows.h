#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "KerberosTicket.h"
#include "WorkflowResult.h"

namespace quorvane {

class SecretStore;

/// The engine workflows as the panel sees them. Each is called on a worker thread, so
/// whatever they capture must be safe to use from there; each returns its outcome and message.
struct Workflows {
    /// `remember`: the user asked for the password to be kept in the desktop's secret store.
    std::function<WorkflowResult(const QString& serverText, const QString& userName,
                                 const QString& password, bool remember)>
        logon;
    std::function<WorkflowResult()> logout;
    /// The logout at the end of the desktop session: it runs beside a workflow told to stop,
    /// without waiting for it, and every unmount not done within `limit` is ended, so that nothing
    /// is released, and no folder emptied, once the program has gone. A kept password stays kept
    /// for the next login, as the user chose nothing. May be empty: then the
    /// workflow's stop is waited for and `logout` is used.
    std::function<WorkflowResult(std::chrono::milliseconds limit)> logoutWithin;
    /// The logon at the desktop's login, with `serverText` and `userName` as saved (the user
    /// may be empty): the user's Kerberos ticket or the kept password, never a typed one.
    /// Without either, or when the server refuses the kept password, `passwordNeeded` says
    /// that the user must type it. May be empty.
    std::function<WorkflowResult(const QString& serverText, const QString& userName)> autoLogon;
    /// Mounts the broken shares again with `password` (empty: a kept password, else the
    /// Kerberos ticket). May be empty.
    std::function<WorkflowResult(const QString& password)> reconnect;
    /// Asks a running logon or reconnect to end its tool and stop; the next one runs as ever.
    /// The tool takes back a half-made mount. May be empty.
    std::function<void()> cancel;
    /// Asks a running workflow to end its tool and stop, and every later one at once, from any
    /// thread; for quitting and the end of the session. May be empty.
    std::function<void()> stop;
    /// The user's Kerberos ticket, which can stand in for the password; called on a worker
    /// thread. May be empty: then there is none.
    std::function<std::optional<KerberosTicket>()> findTicket;
};

/// The real engine's workflows, with the desktop's secret store for a kept password (or
/// `secrets`, which a test gives).
Workflows engineWorkflows(std::shared_ptr<SecretStore> secrets = nullptr);

}  // namespace quorvane
