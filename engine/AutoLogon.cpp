#include "AutoLogon.h"

#include "AccountName.h"
#include "SMBManager.h"
#include "SecretStore.h"
#include "SmbUrl.h"
#include "TerminalText.h"

namespace quorvane {

namespace {

// The kept account names its server in lower case.
std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

AutoLogonPlan planAutoLogon(const std::string& savedServer, const std::string& savedUser,
                            SecretStore* secrets, const std::optional<KerberosTicket>& ticket) {
    AutoLogonPlan plan;
    plan.server = savedServer;
    plan.user = savedUser;
    const std::string host = serverHostFromText(savedServer);
    if (host.empty()) {
        plan.problem = "No server is saved: log on once from the panel.";
        return plan;
    }
    if (plan.user.empty()) {
        const std::optional<KeptAccount> kept = keptAccount(secrets);
        if (ticket && ticketServes(*ticket, host, AccountName{"", ticket->name()})) {
            plan.user = ticket->name();
        } else if (kept && kept->server == lowerAscii(host)) {
            plan.user = kept->user;
        } else {
            plan.problem = "No user name is saved: log on once from the panel.";
            return plan;
        }
    }
    const std::optional<AccountName> account = parseAccountName(plan.user);
    if (!account) {
        plan.problem = "The saved user name \"" + escapeControlCharacters(plan.user) +
                       "\" is not of the form NAME, DOMAIN\\NAME or NAME@DOMAIN.";
        return plan;
    }
    if (ticket && ticketServes(*ticket, host, *account)) {
        plan.credential = AutoLogonPlan::Credential::Ticket;
        return plan;
    }
    if (std::optional<std::string> kept = keptPasswordFor(secrets, account->user, host)) {
        plan.credential = AutoLogonPlan::Credential::KeptPassword;
        plan.password = std::move(*kept);
        return plan;
    }
    plan.problem = "No Kerberos ticket of " + escapeControlCharacters(account->user) + " for " +
                   escapeControlCharacters(host) +
                   " and no kept password: type the password in the panel.";
    return plan;
}

WorkflowResult runAutoLogon(const SMBManager& manager, AutoLogonPlan plan, SecretStore* secrets) {
    WorkflowResult result = manager.logon(plan.server, plan.user, plan.password);
    if (result.password == WorkflowResult::Password::Refused) {
        if (plan.credential == AutoLogonPlan::Credential::KeptPassword) {
            forgetKeptPassword(secrets);
        }
        result.passwordNeeded = true;
    }
    if (result.serverAway) {
        result.message = awayMessage(plan.server);
    }
    wipeSecret(plan.password);
    return result;
}

std::string awayMessage(const std::string& serverText) {
    return "Away from " + escapeControlCharacters(serverHostFromText(serverText)) +
           ": shares will come back when the network does";
}

}  // namespace quorvane
