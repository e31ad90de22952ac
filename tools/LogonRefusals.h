#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "SmbClient.h"

// What this user's mount daemons know of a password the server refused. Every try of a refused
// password counts towards the account's lockout, so the first refusal is written down in the
// user's private folder (DaemonSockets.h), where each daemon of the same account reads it before
// it logs on; and logons with a password take turns there, so that no two are refused at once.
// The note holds no password and nothing derived from one: a password is known by when the
// server took it (SmbLogin::heldSince). One taken before the refusal and at most kSameLogon after
// the refused one counts as the same password (every daemon of one logon has it within that
// time); one taken after the refusal is a new one.
namespace quorvane::tools {

/// Now on the clock that stamps passwords: the system's time since boot, suspend included, the
/// same for every process and never set back.
int64_t passwordClockNow();

/// A refused password: the server took it at `heldSince` and refused it at `refusedAt`.
struct LogonRefusal {
    int64_t heldSince = 0;
    int64_t refusedAt = 0;
};

/// What the daemons of one account note of their logons with a password.
struct AccountNote {
    LogonRefusal refusal;    // the latest refusal; refusedAt 0: none
    int64_t acceptedAt = 0;  // when the server last took a logon; 0: not noted
};

/// Longest time between the first and the last daemon taking the password of one logon.
inline constexpr std::chrono::minutes kSameLogon{10};

/// Whether `refusal` means that the password the server took at `heldSince` is refused now.
bool refusalCovers(const LogonRefusal& refusal, int64_t heldSince);
/// Both refusals in one note: it covers every password that either covers.
LogonRefusal joined(const LogonRefusal& a, const LogonRefusal& b);

/// The note's text, bound to this run of the system (`bootId`): the clock starts again at boot.
std::string accountNoteText(const AccountNote& note, const std::string& bootId);
/// The note a text holds; nothing when it holds none, or one of another boot.
std::optional<AccountNote> readAccountNote(const std::string& text, const std::string& bootId);

/// The name of the note of one account on one server, the same for every daemon of it.
std::string refusalNoteName(const SmbUrlParts& parts, const SmbLogin& login);

/// Removes the notes in `folder` that no daemon wrote for longer than kNoteLife: the folder may
/// outlive a boot, and a daemon that knows its password refused does not try it again anyway.
inline constexpr std::chrono::hours kNoteLife{24};
void removeOldNotes(const std::string& folder);

/// One turn to log on with a password at the account's server: while it is held no other
/// daemon of the user logs on to that account with a password, until the server has taken one
/// of them (then the others that wait go at once, side by side). Without the user's private
/// folder a turn is simply taken, and nothing is written down.
class LogonTurn {
public:
    /// Waits up to `patience` for the turn (another daemon's logon may be waiting on a server
    /// that does not answer).
    LogonTurn(const SmbUrlParts& parts, const SmbLogin& login, std::chrono::milliseconds patience);
    ~LogonTurn();
    LogonTurn(const LogonTurn&) = delete;
    LogonTurn& operator=(const LogonTurn&) = delete;

    /// Whether this daemon may log on now: its turn came, or the server took another's logon
    /// while it waited. False when neither happened within the patience.
    bool mayLogOn() const { return taken_ || othersAccepted_; }
    /// Whether a daemon of this user saw the server refuse the password held since
    /// `heldSince`: it must not be tried again.
    bool refusedAlready(int64_t heldSince) const;
    /// The server has just refused the password held since `heldSince`.
    void noteRefused(int64_t heldSince);
    /// The server has just taken the logon.
    void noteAccepted();

private:
    std::optional<AccountNote> read() const;
    void write(const AccountNote& note);
    /// Waits up to `patience` for the lock; with `othersWill`, stops waiting once the server
    /// took another daemon's logon.
    void lock(std::chrono::milliseconds patience, bool othersWill);

    int fd_ = -1;
    bool taken_ = false;
    bool othersAccepted_ = false;
};

}  // namespace quorvane::tools
