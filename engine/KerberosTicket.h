#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "AccountName.h"

namespace quorvane {

/// The ticket lister gets this long: the panel waits for it, and a cache on a dead network
/// folder must not hold anyone up.
inline constexpr std::chrono::seconds kTicketListerTimeLimit{3};

/// The Kerberos ticket the user holds, as the system's ticket lister names it.
struct KerberosTicket {
    std::string principal;  // "alice@QV.TEST"

    std::string name() const { return principal.substr(0, principal.rfind('@')); }
    std::string realm() const;
};

/// The user's valid ticket-granting ticket, from the ticket lister `klist` at `lister` (MIT or
/// Heimdal): nothing when the user holds none, it has expired, or the lister cannot tell in
/// time. Costs two short runs of the lister.
std::optional<KerberosTicket> findKerberosTicket(const std::string& lister);

/// True when a logon of `account` to the server `host` ("name[:port]") can use `ticket` in
/// place of a password: the ticket is of the same user, any domain given names the ticket's
/// realm (or is a short domain name that cannot be checked here), and the server lies in the
/// ticket's realm or has a short name, which the client's Kerberos configuration places in its
/// default realm. An address is never in a realm: Kerberos needs a server's name.
bool ticketServes(const KerberosTicket& ticket, std::string_view host, const AccountName& account);

}  // namespace quorvane
