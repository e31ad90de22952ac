#include "KerberosTicket.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "MountSource.h"
#include "ProcessRunner.h"

extern char** environ;

namespace quorvane {

namespace {

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool endsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The lister's own words, whatever the user's language: its output is read below.
std::vector<std::string> untranslatedEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        if (variable.rfind("LC_ALL=", 0) != 0 && variable.rfind("LANGUAGE=", 0) != 0) {
            environment.emplace_back(variable);
        }
    }
    environment.emplace_back("LC_ALL=C");
    return environment;
}

ProcessResult runLister(const std::string& lister, std::vector<std::string> arguments) {
    ProcessRequest request;
    request.executable = lister;
    request.arguments = std::move(arguments);
    request.environment = untranslatedEnvironment();
    request.inheritStandardInput = false;
    request.captureOutput = true;
    request.newSession = true;  // never a prompt on the user's terminal
    request.timeLimit = kTicketListerTimeLimit;
    return runProcess(request);
}

bool isIpv4Address(std::string_view host) {
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The principal named by the lister: "Default principal: P" (MIT) or "Principal: P" (Heimdal).
std::string principalInListing(std::string_view listing) {
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string_view::npos) {
            end = listing.size();
        }
        std::string_view line = listing.substr(start, end - start);
        start = end + 1;
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
        for (std::string_view label : {"Default principal: ", "Principal: "}) {
            if (line.rfind(label, 0) == 0) {
                line.remove_prefix(label.size());
                while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
                    line.remove_suffix(1);
                }
                return std::string(line);
            }
        }
    }
    return {};
}

}  // namespace

std::string KerberosTicket::realm() const {
    const size_t at = principal.rfind('@');
    return at == std::string::npos ? std::string() : principal.substr(at + 1);
}

std::optional<KerberosTicket> findKerberosTicket(const std::string& lister) {
    // "-s" answers by exit status alone: 0 only for a ticket-granting ticket still valid.
    if (lister.empty() || !runLister(lister, {"-s"}).succeeded()) {
        return std::nullopt;
    }
    const ProcessResult listing = runLister(lister, {});
    if (!listing.succeeded()) {
        return std::nullopt;
    }
    KerberosTicket ticket{principalInListing(listing.output)};
    if (ticket.name().empty() || ticket.realm().empty()) {
        return std::nullopt;
    }
    return ticket;
}

bool ticketServes(const KerberosTicket& ticket, std::string_view host, const AccountName& account) {
    if (!sameAccount(account.user, ticket.name())) {
        return false;
    }
    const std::string realm = lowerAscii(ticket.realm());
    const std::string domain = lowerAscii(account.domain);
    if (domain.find('.') != std::string::npos && domain != realm) {
        return false;
    }
    std::string name = lowerAscii(host);
    if (name.empty() || name.front() == '[' || std::count(name.begin(), name.end(), ':') > 1) {
        return false;  // an IPv6 address
    }
    name = name.substr(0, name.find(':'));  // the port
    if (name.empty() || isIpv4Address(name)) {
        return false;
    }
    return name.find('.') == std::string::npos || name == realm || endsWith(name, "." + realm);
}

}  // namespace quorvane
