#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "SmbUrl.h"

// What every user of Samba's client library in the mount tool shares: the login, kept in
// memory only, the URLs, and the bounds and socket options of its connections.
namespace quorvane::tools {

/// Who logs on. An empty password means: use the Kerberos ticket the user holds.
struct SmbLogin {
    std::string workgroup;  // empty: the one from the client configuration
    std::string user;
    std::string password;
    /// When the server last took this password at a logon of the mount's own (a check at the
    /// mount or at a handover), on passwordClockNow()'s clock; 0 when not known.
    int64_t heldSince = 0;
};

/// "DOMAIN;USER" taken apart; the domain is empty when there is none.
SmbLogin loginFor(const std::string& userWithDomain, std::string password);

/// Environment variable naming a private client configuration (smb.conf syntax) used instead
/// of the system's; tests point it at one with their own name resolution.
inline constexpr const char* kClientConfigVariable = "QUORVANE_SMB_CLIENT_CONF";

/// The private configuration's path, or null when the system's is used.
const char* privateSmbConfiguration();
/// Whether some network interface is up with an address. Without one the library's start
/// ends the whole process ("Could not determine network interfaces"), so a context is made
/// only while there is one.
bool anyInterfaceUp();

/// False (and `error`) when the private configuration is named but cannot be read.
bool prepareSmbLibrary(std::string* error);

/// The URL libsmbclient takes for `path` ("/" or "/dir/name") on the share, with every byte
/// of host-independent names percent-encoded, so that names holding "%", "?" or "#" survive.
std::string smbUrlFor(const SmbUrlParts& parts, const std::string& path);

/// How long one call of the mount waits for the server, replacing a lost connection
/// included: as long as a user waits on a slow network (a Wi-Fi hand-over, a wake from sleep)
/// before calling the server gone, and the library's own default for one answer, which other
/// SMB clients on this system use.
inline constexpr std::chrono::seconds kRequestBound{20};

/// Resets every TCP connection this process holds, throwing away what was not yet sent, so
/// that a request already reported failed can never reach the server later. The library's
/// descriptors stay valid (they lead nowhere) until it closes them itself.
void abortConnections();
/// Has the system probe every TCP connection of this process while it is idle.
void keepConnectionsAlive();

}  // namespace quorvane::tools
