// What the mount daemons remember of a password the server refused: which held passwords a
// refusal covers (times passed in), the note they share, and which of the library's words are a
// refusal of the password rather than of a share or a failing network.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "DaemonSockets.h"
#include "LogonRefusals.h"
#include "SmbConnection.h"

namespace quorvane::tools {
namespace {

int64_t seconds(int64_t count) {
    return count * 1000000000;
}

TEST(LogonRefusals, CoverThePasswordsOfTheRefusedOnesLogonAndOlderOnesOnly) {
    const int64_t sameLogon = std::chrono::duration_cast<std::chrono::seconds>(kSameLogon).count();
    const LogonRefusal lateRefusal{seconds(1000), seconds(1000 + 3600)};
    const LogonRefusal quickRefusal{seconds(1000), seconds(1060)};
    const struct {
        LogonRefusal refusal;
        int64_t heldSince;
        bool covered;
    } cases[] = {
        {lateRefusal, 0, true},                               // not known when: refused
        {lateRefusal, seconds(10), true},                     // taken before the refused one
        {lateRefusal, seconds(1000), true},                   // the refused one's logon
        {lateRefusal, seconds(1000 + sameLogon - 1), true},   // a later mount of that logon
        {lateRefusal, seconds(1000 + sameLogon + 1), false},  // a later logon: maybe new
        {lateRefusal, seconds(1000 + 3600 + 1), false},       // taken after the refusal: new
        {quickRefusal, seconds(1059), true},
        {quickRefusal, seconds(1061), false},  // within a logon's time, but
                                               // the server took it after
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusalCovers(c.refusal, c.heldSince), c.covered) << c.heldSince;
    }
    const LogonRefusal both = joined(quickRefusal, LogonRefusal{seconds(5000), seconds(5100)});
    for (const int64_t held : {seconds(1059), seconds(5000), seconds(5099)}) {
        EXPECT_TRUE(refusalCovers(both, held)) << held;
    }
    EXPECT_FALSE(refusalCovers(both, seconds(5101)));
}

TEST(LogonRefusals, NotesAreReadBackOnlyInTheBootTheyWereWrittenIn) {
    const LogonRefusal refusal{seconds(12), seconds(345)};
    const std::string note = refusalNote(refusal, "boot-a");
    const std::optional<LogonRefusal> read = readRefusalNote(note, "boot-a");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->heldSince, refusal.heldSince);
    EXPECT_EQ(read->refusedAt, refusal.refusedAt);
    EXPECT_FALSE(readRefusalNote(note, "boot-b"));
    for (const std::string& broken :
         {std::string(), std::string("refused password\n"), note.substr(0, note.size() / 2),
          std::string("something else\nboot boot-a\nheld since 1\nrefused at 2\n")}) {
        EXPECT_FALSE(readRefusalNote(broken, "boot-a")) << broken;
    }
    // The note names the account, never a password, and the same account whatever the case.
    const SmbUrlParts server{"", std::nullopt, "FS1.School.example", 1445, "Projects"};
    const SmbLogin alice{"SCHOOL", "alice", "secret", 0};
    SmbUrlParts otherShare = server;
    otherShare.share = "Media";
    SmbLogin upper = alice;
    upper.user = "ALICE";
    upper.password = "other";
    EXPECT_EQ(refusalNoteName(server, alice), refusalNoteName(otherShare, upper));
    SmbLogin bob = alice;
    bob.user = "bob";
    SmbUrlParts otherPort = server;
    otherPort.port = 445;
    EXPECT_NE(refusalNoteName(server, alice), refusalNoteName(server, bob));
    EXPECT_NE(refusalNoteName(server, alice), refusalNoteName(otherPort, alice));
    EXPECT_EQ(refusalNoteName(server, alice).find("secret"), std::string::npos);
}

// Two daemons of one account: one logon at a time, and what one saw refused the other knows.
TEST(LogonRefusals, AreSharedAndLogonsTakeTurnsAcrossTheAccountsDaemons) {
    const std::optional<std::string> folder = daemons::socketFolder();
    ASSERT_TRUE(folder);
    const SmbUrlParts server{"", std::nullopt, "turns-" + std::to_string(::getpid()), 1, "s"};
    const SmbLogin login{"", "alice", "pw", 0};
    const std::string notePath = *folder + "/" + refusalNoteName(server, login);
    const int64_t heldSince = passwordClockNow();
    {
        LogonTurn first(server, login, std::chrono::milliseconds(0));
        ASSERT_TRUE(first.taken());
        EXPECT_FALSE(first.refusedAlready(heldSince));
        const LogonTurn second(server, login, std::chrono::milliseconds(60));
        EXPECT_FALSE(second.taken());
        first.noteRefused(heldSince);
    }
    {
        const LogonTurn next(server, login, std::chrono::milliseconds(0));
        ASSERT_TRUE(next.taken());
        EXPECT_TRUE(next.refusedAlready(heldSince));
        EXPECT_TRUE(next.refusedAlready(heldSince - 1000));
        EXPECT_FALSE(next.refusedAlready(passwordClockNow()));  // a password taken since
        SmbLogin bob = login;
        bob.user = "bob";
        const LogonTurn otherAccount(server, bob, std::chrono::milliseconds(0));
        EXPECT_TRUE(otherAccount.taken());
        EXPECT_FALSE(otherAccount.refusedAlready(heldSince));
        ::unlink((*folder + "/" + refusalNoteName(server, bob)).c_str());
    }
    ::unlink(notePath.c_str());
}

TEST(LogonRefusals, AreTheServersWordOnThePasswordNeverOnAShareOrTheNetwork) {
    const struct {
        const char* message;
        bool refused;
    } cases[] = {
        {"SPNEGO login failed: The attempted logon is invalid. This is either due to a bad "
         "username or authentication information.",
         true},
        {"SPNEGO login failed: NT_STATUS_LOGON_FAILURE", true},
        {"SPNEGO login failed: NT_STATUS_ACCOUNT_LOCKED_OUT", true},
        {"SPNEGO login failed: The user account has been automatically locked because too many "
         "invalid logon attempts or password change attempts have been requested.",
         true},
        {"SPNEGO login failed: NT_STATUS_PASSWORD_EXPIRED", true},
        {"SPNEGO login failed: NT_STATUS_IO_TIMEOUT", false},
        {"SPNEGO login failed: NT_STATUS_CONNECTION_RESET", false},
        {"SPNEGO login failed: NT_STATUS_CONNECTION_DISCONNECTED", false},
        {"failed tcon_X with NT_STATUS_ACCESS_DENIED", false},
        {"cli_tree_connect: NT_STATUS_BAD_NETWORK_NAME", false},
        {"Connecting to 127.0.0.1 at port 1445", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(saysLogonRefused(c.message), c.refused) << c.message;
    }
}

}  // namespace
}  // namespace quorvane::tools
