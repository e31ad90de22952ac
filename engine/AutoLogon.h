#pragma once

#include <optional>
#include <string>

#include "KerberosTicket.h"
#include "WorkflowResult.h"

namespace quorvane {

class SMBManager;
class SecretStore;

/// What a logon made without anybody at the keyboard (at the desktop's login, or by
/// `quorvane logon --auto`) can log on with. Nobody is asked: without a credential at hand it
/// says what the user must do instead.
struct AutoLogonPlan {
    enum class Credential { None, Ticket, KeptPassword };
    Credential credential = Credential::None;
    std::string server;    // as saved or given: the messages name it so
    std::string user;      // as saved or given, or the ticket's user
    std::string password;  // the kept one, with Credential::KeptPassword
    std::string problem;   // with Credential::None: what the user must do, one sentence
};

/// Decides from the saved server and user (either may be empty), the desktop's secret store
/// and the user's Kerberos ticket. A ticket that serves the account comes first: it needs no
/// password at all. Without a saved user, the ticket's user or the account of the kept
/// password (for the same server) stands in.
AutoLogonPlan planAutoLogon(const std::string& savedServer, const std::string& savedUser,
                            SecretStore* secrets, const std::optional<KerberosTicket>& ticket);

/// Runs the logon of `plan` (which must have a credential). A kept password the server
/// refuses is forgotten, as it would be tried again at every login; one that it takes stays
/// kept. A server that cannot be reached is told as being away from the network.
WorkflowResult runAutoLogon(const SMBManager& manager, AutoLogonPlan plan, SecretStore* secrets);

/// The one line for shares whose server cannot be reached: "Away from FS1: ...", with the
/// server as typed (without a share or "\\" in front).
std::string awayMessage(const std::string& serverText);

}  // namespace quorvane
