// The user name as typed in the panel or on the command line, taken apart before any tool runs.
// One logon runs end to end in WorkflowTest; every other form is a row here.
#include <gtest/gtest.h>

#include "AccountName.h"

namespace quorvane {
namespace {

TEST(AccountName, EachFormGivesDomainAndUserOrIsRefused) {
    struct Case {
        const char* typed;
        const char* forUrl;  // nullptr: refused
        const char* user;
    };
    const Case cases[] = {
        {"alice", "alice", "alice"},
        {"CORP\\alice", "CORP;alice", "alice"},
        {"alice@corp.example", "corp.example;alice", "alice"},
        // The realm follows the last "@": a user name may hold one of its own.
        {"j.doe@school@corp.example", "corp.example;j.doe@school", "j.doe@school"},
        // The first "\" ends the domain: what follows is the user, "@" and all.
        {"CORP\\alice@home", "CORP;alice@home", "alice@home"},
        {"CORP\\..", "CORP;..", ".."},  // refused later, as a folder name
        {"CORP\\", nullptr, nullptr},
        {"\\alice", nullptr, nullptr},
        {"@corp", nullptr, nullptr},
        {"alice@", nullptr, nullptr},
        {"CORP\\a\\b", nullptr, nullptr},
        // The mount tool splits its URL's user at ";": no part may hold one.
        {"alice;x", nullptr, nullptr},
        {"CORP;X\\alice", nullptr, nullptr},
        {"CORP\\a;b", nullptr, nullptr},
        {"alice@corp;x", nullptr, nullptr},
        {"a;b@corp", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const std::optional<AccountName> account = parseAccountName(c.typed);
        ASSERT_EQ(account.has_value(), c.forUrl != nullptr) << c.typed;
        if (account) {
            EXPECT_EQ(account->forUrl(), c.forUrl) << c.typed;
            EXPECT_EQ(account->user, c.user) << c.typed;
        }
    }
}

}  // namespace
}  // namespace quorvane
