#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// How the program asks a running mount daemon about its share without touching the mount (a
// hung mount would hold whoever looks at it). The daemon listens on a socket named after its
// pid in the user's private folder (DaemonSockets.h); the asker checks that the socket's owner
// is that daemon of its own user (and, before a password goes, that it runs this
// installation's mount tool), writes one question line and reads one answer line.
namespace quorvane::health {

inline constexpr const char* kQuestion = "check\n";
/// A new password for the daemon: this line, then the password's bytes up to the end of the
/// asker's writing. The daemon logs on with it and answers as for a check; on "answering" it
/// uses the password from then on.
inline constexpr const char* kNewPassword = "password\n";
/// Longest password the daemon reads.
inline constexpr size_t kPasswordLimit = 1024;

/// The daemon's answers, each one word and a line feed.
inline constexpr const char* kAnswering = "answering";
inline constexpr const char* kNotAnswering = "not-answering";
inline constexpr const char* kPasswordRefused = "password-refused";
inline constexpr const char* kTicketRefused = "ticket-refused";
inline constexpr const char* kShareUnavailable = "share-unavailable";
/// A new password not tried: too many were refused lately (the server would lock the account).
inline constexpr const char* kTooManyPasswords = "too-many-passwords";

}  // namespace quorvane::health
