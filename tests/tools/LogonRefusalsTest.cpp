// What the mount daemons remember of a password the server refused: which held passwords a
// refusal covers (times passed in), the note they share, and which of the library's words are a
// refusal of the password rather than of a share or a failing network.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

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
    const AccountNote written{{seconds(12), seconds(345)}, seconds(400)};
    const std::string text = accountNoteText(written, "boot-a");
    const std::optional<AccountNote> read = readAccountNote(text, "boot-a");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->refusal.heldSince, written.refusal.heldSince);
    EXPECT_EQ(read->refusal.refusedAt, written.refusal.refusedAt);
    EXPECT_EQ(read->acceptedAt, written.acceptedAt);
    EXPECT_FALSE(readAccountNote(text, "boot-b"));
    for (const std::string& broken :
         {std::string(), std::string("password logons\n"), text.substr(0, text.size() / 2),
          std::string(
              "something else\nboot boot-a\nheld since 1\nrefused at 2\naccepted at 3\n")}) {
        EXPECT_FALSE(readAccountNote(broken, "boot-a")) << broken;
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

// Daemons of one account: one logon at a time until the server takes one, and what one saw
// refused the others know.
TEST(LogonRefusals, AreSharedAndLogonsTakeTurnsAcrossTheAccountsDaemons) {
    const std::optional<std::string> folder = daemons::socketFolder();
    ASSERT_TRUE(folder);
    const SmbUrlParts server{"", std::nullopt, "turns-" + std::to_string(::getpid()), 1, "s"};
    const SmbLogin login{"", "alice", "pw", 0};
    SmbLogin bob = login;
    bob.user = "bob";
    const int64_t heldSince = passwordClockNow();
    {
        LogonTurn first(server, login, std::chrono::milliseconds(0));
        ASSERT_TRUE(first.mayLogOn());
        EXPECT_FALSE(first.refusedAlready(heldSince));
        const LogonTurn second(server, login, std::chrono::milliseconds(60));
        EXPECT_FALSE(second.mayLogOn());
        const LogonTurn otherAccount(server, bob, std::chrono::milliseconds(0));
        EXPECT_TRUE(otherAccount.mayLogOn());
        first.noteRefused(heldSince);
    }
    {
        LogonTurn next(server, login, std::chrono::milliseconds(0));
        ASSERT_TRUE(next.mayLogOn());
        EXPECT_TRUE(next.refusedAlready(heldSince));
        EXPECT_TRUE(next.refusedAlready(heldSince - 1000));
        EXPECT_FALSE(next.refusedAlready(passwordClockNow()));  // a password taken since
        const LogonTurn otherAccount(server, bob, std::chrono::milliseconds(0));
        EXPECT_FALSE(otherAccount.refusedAlready(heldSince));
        // The server takes a logon of the account: those waiting go at once, side by side.
        std::thread accepts([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            next.noteAccepted();
        });
        const LogonTurn waiting(server, login, std::chrono::seconds(20));
        accepts.join();
        EXPECT_TRUE(waiting.mayLogOn());
        EXPECT_TRUE(waiting.refusedAlready(heldSince));  // the refusal stays noted
    }
    // Notes nobody wrote for a day go; others stay.
    const std::string bobsNote = *folder + "/" + refusalNoteName(server, bob);
    const timespec twoDaysAgo[2] = {{::time(nullptr) - 2 * 86400, 0},
                                    {::time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, bobsNote.c_str(), twoDaysAgo, 0), 0);
    removeOldNotes(*folder);
    EXPECT_NE(::access(bobsNote.c_str(), F_OK), 0);
    const std::string alicesNote = *folder + "/" + refusalNoteName(server, login);
    EXPECT_EQ(::access(alicesNote.c_str(), F_OK), 0);
    ::unlink(alicesNote.c_str());
}

TEST(LogonRefusals, AreTheServersWordOnThePasswordNeverOnAShareOrTheNetwork) {
    const struct {
        const char* message;
        bool refused;
        bool outsideHours = false;  // refused for the hours alone: the password is kept
    } cases[] = {
        {"SPNEGO login failed: NT_STATUS_INVALID_LOGON_HOURS", false, true},
        {"SPNEGO login failed: The user account has time restrictions and cannot be logged onto "
         "at this time.",
         false, true},
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
        EXPECT_EQ(saysOutsideLogonHours(c.message), c.outsideHours) << c.message;
    }
}

}  // namespace
}  // namespace quorvane::tools
