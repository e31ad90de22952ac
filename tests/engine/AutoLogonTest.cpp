// What a logon with nobody at the keyboard logs on with, decided from the saved server and
// user, the kept password and the Kerberos ticket.
#include <gtest/gtest.h>

#include "AutoLogon.h"
#include "TestSupport.h"

namespace quorvane::testing {
namespace {

using Credential = AutoLogonPlan::Credential;

TEST(AutoLogon, TakesTheTicketFirstThenTheKeptPasswordAndOtherwiseSaysWhatToDo) {
    const KerberosTicket alices{"alice@QV.TEST"};
    const KerberosTicket bobs{"bob@QV.TEST"};
    struct Case {
        const char* name;
        std::string server;
        std::string user;
        std::optional<std::string> kept;
        std::optional<KerberosTicket> ticket;
        Credential credential;
        std::string planUser;
        std::string problemPart;
    };
    const Case cases[] = {
        {"ticket before kept password", "FS1", "alice", "alice@fs1\nkept", alices,
         Credential::Ticket, "alice", ""},
        {"ticket of the realm's server", "fs1.qv.test", "alice", std::nullopt, alices,
         Credential::Ticket, "alice", ""},
        {"another user's ticket", "FS1", "alice", "alice@fs1\nkept", bobs, Credential::KeptPassword,
         "alice", ""},
        {"kept password, user with domain", "\\\\FS1", "QV\\alice", "alice@fs1\nkept", std::nullopt,
         Credential::KeptPassword, "QV\\alice", ""},
        {"no saved user: the ticket's", "FS1", "", std::nullopt, alices, Credential::Ticket,
         "alice", ""},
        {"no saved user: the kept account's", "FS1", "", "alice@fs1\nkept", std::nullopt,
         Credential::KeptPassword, "alice", ""},
        {"kept for another server", "FS2", "alice", "alice@fs1\nkept", std::nullopt,
         Credential::None, "alice", "no kept password"},
        {"kept for another server, no user", "FS2", "", "alice@fs1\nkept", std::nullopt,
         Credential::None, "", "No user name is saved"},
        {"an address is in no realm", "10.0.0.5", "alice", std::nullopt, alices, Credential::None,
         "alice", "No Kerberos ticket of alice for 10.0.0.5"},
        {"nothing at all", "FS1", "alice", std::nullopt, std::nullopt, Credential::None, "alice",
         "type the password in the panel"},
        {"no server", "", "alice", "alice@fs1\nkept", alices, Credential::None, "alice",
         "No server is saved"},
        {"malformed user", "FS1", "CORP\\", "alice@fs1\nkept", std::nullopt, Credential::None,
         "CORP\\", "not of the form"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSecretStore store;
        store.kept = c.kept;
        const AutoLogonPlan plan = planAutoLogon(c.server, c.user, &store, c.ticket);
        EXPECT_EQ(plan.credential, c.credential);
        EXPECT_EQ(plan.user, c.planUser);
        EXPECT_EQ(plan.password, c.credential == Credential::KeptPassword ? "kept" : "");
        if (c.problemPart.empty()) {
            EXPECT_EQ(plan.problem, "");
        } else {
            EXPECT_NE(plan.problem.find(c.problemPart), std::string::npos) << plan.problem;
        }
        EXPECT_EQ(store.kept, c.kept) << "deciding changes nothing";
    }
}

TEST(AutoLogon, AwayNamesTheServerAsTyped) {
    EXPECT_EQ(awayMessage("FS1"), "Away from FS1: shares will come back when the network does");
    EXPECT_EQ(awayMessage("\\\\FS1\\home"),
              "Away from FS1: shares will come back when the network does");
}

}  // namespace
}  // namespace quorvane::testing
