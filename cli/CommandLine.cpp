#include "CommandLine.h"

#include <signal.h>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>

#include "AccountName.h"
#include "AutoLogon.h"
#include "CatchStopSignals.h"
#include "CoreDumps.h"
#include "FileServices.h"
#include "KerberosTicket.h"
#include "MountTable.h"
#include "PasswordInput.h"
#include "SMBManager.h"
#include "SecretStore.h"
#include "ShareHealth.h"
#include "SmbUrl.h"
#include "TerminalText.h"

namespace quorvane {

namespace {

const char* const kHelp =
    "usage: quorvane [logon --server SERVER --user NAME [--remember-password]\n"
    "                | logon --auto [--server SERVER] [--user NAME] | logout | status\n"
    "                | reconnect | --help | --version]\n"
    "With no command, quorvane starts the tray icon and its logon panel; the standard Qt\n"
    "options (-platform, -style, ...) may be given then.\n"
    "\n"
    "  logon --server SERVER --user NAME [--remember-password]\n"
    "      Mounts NAME's home share of SERVER, reads NAME's groups from \"mac.bat\" on it,\n"
    "      mounts every group share that \"shares.ini\" on the \"netlogon\" share gives this\n"
    "      platform and those groups, all under ~/smbmounts, and releases \"netlogon\".\n"
    "      SERVER is a host name or address, optionally with \":PORT\" or an \"smb://\" in\n"
    "      front, or \"\\\\SERVER\" as Windows writes it; a share after the server\n"
    "      (\"//SERVER/SHARE\", \"smb://SERVER/SHARE\") is left out. NAME may be\n"
    "      DOMAIN\\NAME or NAME@DOMAIN. The password is read from standard input: typed without "
    "echo at a\n"
    "      terminal, otherwise the whole input with one trailing line break dropped. It is\n"
    "      never taken from the command line or the environment. An empty password logs on\n"
    "      with NAME's Kerberos ticket when there is one (kinit gets one).\n"
    "      --remember-password keeps the password in the desktop's secret store (GNOME\n"
    "      Keyring, KWallet, the macOS Keychain) for reconnect; without it a kept password\n"
    "      is forgotten, as it is when the server refuses the password.\n"
    "  logon --auto [--server SERVER] [--user NAME]\n"
    "      The logon made at the desktop's login, never asking anything: with the server\n"
    "      and user name saved by the panel (or those given), it logs on with the user's\n"
    "      Kerberos ticket for that server, else with the password kept by\n"
    "      --remember-password. Without either, or when the server refuses the kept\n"
    "      password (which is then forgotten), it says so and exits 3. A server that\n"
    "      cannot be reached is told as being away from the network.\n"
    "  logout\n"
    "      Unmounts every share under ~/smbmounts and removes the emptied folders. A share\n"
    "      that is still in use stays mounted, and nothing inside it is deleted. A kept\n"
    "      password is forgotten.\n"
    "  status\n"
    "      Lists what is mounted under ~/smbmounts and from where, and for each share that\n"
    "      does not work why: server not answering, password no longer accepted, Kerberos\n"
    "      ticket expired, share no longer available, disconnected (its daemon ended), mount\n"
    "      stopped. All shares are asked at once; it takes a few seconds at most. Exits 1\n"
    "      when a share does not work.\n"
    "  reconnect\n"
    "      Mounts again every share that status shows as not working (a server no longer\n"
    "      answering is left as it is), for the user and server it was mounted for. A\n"
    "      password kept by logon --remember-password is used without asking; otherwise the\n"
    "      password is read from standard input as for logon, and an empty one uses the\n"
    "      user's Kerberos ticket. The password is tried at the server once; only when the\n"
    "      server takes it do the running mounts get it and are broken mounts released to be\n"
    "      mounted again. Without a password, or with one the server refuses, nothing is\n"
    "      released and the message asks for the password; a refused kept one is forgotten.\n"
    "      A share whose mount is gone is detached even while a program holds a file there:\n"
    "      that program gets errors from its old file.\n"
    "  --help, -h, help\n"
    "      Shows this text.\n"
    "  --version\n"
    "      Shows the version.\n"
    "\n"
    "  --autostart\n"
    "      Starts the tray icon as the desktop's autostart entry does: it waits for a tray\n"
    "      to appear.\n"
    "\n"
    "logon and logout print the same lines as the panel's workflows, then the status\n"
    "message.\n"
    "\n"
    "Exit status:\n"
    "  0        the command succeeded (a logout with nothing to release included)\n"
    "  1        it failed or was only partly done, status found a share that does not\n"
    "           work, or the tray has no display to show on\n"
    "  2        bad usage: an unknown command or option, a missing value, or a password\n"
    "           that cannot be read or holds a NUL byte\n"
    "  3        logon --auto needs the user: no Kerberos ticket and no kept password,\n"
    "           or the server refused the kept password\n"
    "  128+N    a logon stopped by signal N (SIGINT 2, SIGHUP 1, SIGTERM 15); shares\n"
    "           mounted before stay mounted\n";

// Everything after a NUL would be lost on its way to the server; a shorter password than the
// one given must never be tried.
constexpr const char* kPasswordWithNul =
    "the password on standard input holds a NUL byte, which no password can hold";

int exitStatusOf(const WorkflowResult& result) {
    return result.outcome == Outcome::Succeeded ? 0 : 1;
}

// Ctrl-C, SIGTERM and SIGHUP during a logon end the running tool (which takes back what it
// half made) and stop the workflow; the program then exits 128 + the signal.
Interruption* g_stop = nullptr;

void onStopSignal(int signalNumber) {
    if (g_stop != nullptr) {
        g_stop->raise(signalNumber);
    }
}

// One run of the command line: its arguments, streams and engine.
class Run {
public:
    Run(const CommandLineStreams& streams, EngineConfig config, SavedLogon saved)
        : io_(streams), config_(std::move(config)), saved_(std::move(saved)) {
        if (config_.diagnostics == nullptr) {
            config_.diagnostics = &io_.out;
        }
        if (!config_.mountTable) {
            config_.mountTable = [](const std::string& path) { return mountAt(path); };
        }
    }

    int command(std::vector<std::string> arguments) {
        if (arguments.empty()) {
            io_.err << kHelp;
            return 2;
        }
        const std::string command = arguments.front();
        arguments.erase(arguments.begin());
        if (command == "--help" || command == "-h" || command == "help") {
            io_.out << kHelp;
            return 0;
        }
        if (command == "--version") {
            io_.out << "quorvane " << QUORVANE_VERSION << "\n";
            return 0;
        }
        if (command == "logon") {
            return logon(arguments);
        }
        if (command == "reconnect") {
            return arguments.empty() ? reconnect() : badUsage("reconnect: takes no arguments");
        }
        if (command == "logout" || command == "status") {
            if (!arguments.empty()) {
                return badUsage(command + ": takes no arguments");
            }
            return command == "logout" ? logout() : status();
        }
        return badUsage("unknown command \"" + command + "\"");
    }

private:
    int badUsage(const std::string& problem) {
        io_.err << "quorvane: " << problem << "\n"
                << "Try 'quorvane --help'." << std::endl;
        return 2;
    }

    int logon(const std::vector<std::string>& arguments) {
        std::optional<std::string> server;
        std::optional<std::string> user;
        bool remember = false;
        bool automatic = false;
        for (size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
            if (argument == "--remember-password") {
                remember = true;
                continue;
            }
            if (argument == "--auto") {
                automatic = true;
                continue;
            }
            std::optional<std::string>* target = nullptr;
            std::string value;
            bool hasValue = false;
            for (const auto& [name, slot] : {std::pair{std::string("--server"), &server},
                                             std::pair{std::string("--user"), &user}}) {
                if (argument == name) {
                    target = slot;
                    if (i + 1 < arguments.size()) {
                        value = arguments[++i];
                        hasValue = true;
                    }
                } else if (argument.rfind(name + "=", 0) == 0) {
                    target = slot;
                    value = argument.substr(name.size() + 1);
                    hasValue = true;
                }
            }
            if (target == nullptr) {
                if (argument.rfind("--pass", 0) == 0) {
                    return badUsage(
                        "the password is read from standard input, never from "
                        "the command line");
                }
                return badUsage("logon: unknown argument \"" + argument + "\"");
            }
            if (!hasValue) {
                return badUsage("logon: " + argument + " needs a value");
            }
            *target = value;
        }
        if (automatic) {
            if (remember) {
                return badUsage(
                    "logon: --auto keeps no new password; --remember-password is "
                    "for a logon with a typed one");
            }
            return autoLogon(server.value_or(saved_.server), user.value_or(saved_.user));
        }
        if (!server || server->empty()) {
            return badUsage("logon: --server SERVER is missing");
        }
        if (!user || user->empty()) {
            return badUsage("logon: --user NAME is missing");
        }

        // Asked before the prompt, so that the prompt can offer it.
        const std::optional<KerberosTicket> ticket = ticketFor(*server, *user);
        disableCoreDumps();  // before the password is in memory
        const std::string prompt =
            "Password for " + *user +
            (ticket ? " (empty: Kerberos ticket of " + ticket->principal + ")" : "") + ": ";
        const std::optional<std::string> password =
            &io_.in == &std::cin ? readPassword(prompt) : readPassword(io_.in);
        if (!password) {
            io_.err << "quorvane: could not read the password from standard input" << std::endl;
            return 2;
        }
        if (password->find('\0') != std::string::npos) {
            return badUsage(kPasswordWithNul);
        }
        if (password->empty()) {
            if (!ticket) {
                return badUsage("logon: no password on standard input, and no Kerberos ticket of " +
                                *user + " for " + serverHostFromText(*server) +
                                " (klist shows the tickets; kinit gets one)");
            }
            io_.out << "Logging on with the Kerberos ticket of " << ticket->principal << "."
                    << std::endl;
        }
        Interruption stop;
        const WorkflowResult result = runStoppable(stop, [&](const SMBManager& manager) {
            return manager.logon(*server, *user, *password);
        });
        if (result.outcome == Outcome::Interrupted && stop.raised()) {
            io_.out << "quorvane: logon stopped by signal " << stop.reason()
                    << "; shares mounted before stay mounted." << std::endl;
            return 128 + stop.reason();
        }
        io_.out << result.message << std::endl;
        if (const auto problem =
                keepPasswordOfLogon(config_.secrets, *server, *user, *password, remember, result)) {
            io_.err << "quorvane: " << *problem << std::endl;
        }
        return exitStatusOf(result);
    }

    // Nothing is read from standard input: nobody may be there to type.
    int autoLogon(const std::string& server, const std::string& user) {
        disableCoreDumps();  // before a kept password is in memory
        const std::optional<KerberosTicket> ticket =
            config_.ticketLister.empty() ? std::nullopt : findKerberosTicket(config_.ticketLister);
        AutoLogonPlan plan = planAutoLogon(server, user, config_.secrets, ticket);
        switch (plan.credential) {
            case AutoLogonPlan::Credential::None:
                io_.err << "quorvane: " << plan.problem << std::endl;
                return kNeedsUser;
            case AutoLogonPlan::Credential::Ticket:
                io_.out << "Logging on with the Kerberos ticket of " << ticket->principal << "."
                        << std::endl;
                break;
            case AutoLogonPlan::Credential::KeptPassword:
                io_.out << "Using the password kept in the desktop's secret store." << std::endl;
                break;
        }
        const AutoLogonPlan::Credential credential = plan.credential;
        Interruption stop;
        const WorkflowResult result = runStoppable(stop, [&](const SMBManager& manager) {
            return runAutoLogon(manager, std::move(plan), config_.secrets);
        });
        if (result.outcome == Outcome::Interrupted && stop.raised()) {
            io_.out << "quorvane: logon stopped by signal " << stop.reason()
                    << "; shares mounted before stay mounted." << std::endl;
            return 128 + stop.reason();
        }
        io_.out << result.message << std::endl;
        if (result.passwordNeeded) {
            io_.err << "quorvane: "
                    << (credential == AutoLogonPlan::Credential::KeptPassword
                            ? "the server refused the kept password, which is forgotten. "
                            : "the server refused the Kerberos ticket. ")
                    << "Log on with the password (quorvane logon --remember-password keeps it)."
                    << std::endl;
            return kNeedsUser;
        }
        return exitStatusOf(result);
    }

    // Runs a workflow that a stop signal ends: the running tool takes back what it half made.
    template <typename Workflow>
    WorkflowResult runStoppable(Interruption& stop, Workflow workflow) const {
        EngineConfig config = config_;
        config.interruption = &stop;
        g_stop = &stop;
        const CatchStopSignals stopSignals(onStopSignal, true);
        WorkflowResult result = workflow(SMBManager(config));
        g_stop = nullptr;
        return result;
    }

    // The user's ticket when it can stand in for the password of this logon.
    std::optional<KerberosTicket> ticketFor(const std::string& server,
                                            const std::string& user) const {
        const std::optional<AccountName> account = parseAccountName(user);
        if (!account) {
            return std::nullopt;
        }
        std::optional<KerberosTicket> ticket = findKerberosTicket(config_.ticketLister);
        if (!ticket || !ticketServes(*ticket, serverHostFromText(server), *account)) {
            return std::nullopt;
        }
        return ticket;
    }

    int reconnect() {
        disableCoreDumps();  // before the password is in memory
        std::optional<std::string> password;
        if (std::optional<std::string> kept =
                config_.secrets ? config_.secrets->read() : std::nullopt) {
            wipeSecret(*kept);
            io_.out << "Using the password kept in the desktop's secret store." << std::endl;
            password = std::string();  // the engine takes the kept one for its account
        } else {
            password = &io_.in == &std::cin ? readPassword("Password (empty: Kerberos ticket): ")
                                            : readPassword(io_.in);
        }
        if (!password) {
            io_.err << "quorvane: could not read the password from standard input" << std::endl;
            return 2;
        }
        if (password->find('\0') != std::string::npos) {
            return badUsage(kPasswordWithNul);
        }
        Interruption stop;
        const WorkflowResult result = runStoppable(
            stop, [&](const SMBManager& manager) { return manager.reconnect(*password); });
        io_.out << result.message << std::endl;
        return exitStatusOf(result);
    }

    int logout() {
        forgetKeptPassword(config_.secrets);
        const WorkflowResult result = SMBManager(config_).logout();
        io_.out << result.message << std::endl;
        return exitStatusOf(result);
    }

    int status() {
        bool broken = false;
        for (const std::string& line :
             describeMountRoot(SMBManager(config_).mountRoot(), &broken)) {
            io_.out << line << '\n';
        }
        io_.out << std::flush;
        return broken ? 1 : 0;  // scripts can tell a broken share without reading the lines
    }

    // One line per visible folder of the mount root, with where its mount comes from;
    // `broken` learns whether a mounted share does not work.
    std::vector<std::string> describeMountRoot(const std::string& mountRoot, bool* broken) const {
        if (!files::exists(mountRoot)) {
            return {"No shares mapped (smbmounts folder not found)."};
        }
        const MountRootListing listing = listMountRoot(mountRoot, config_.mountTable);
        // All at once, within one bound, without looking into any mounted folder.
        std::map<std::string, std::string> rows;  // folder name -> where it comes from
        size_t mounted = 0;
        size_t width = 0;
        const std::vector<ShareState> shares = config_.shareCheck
                                                   ? checkMountRoot(listing, config_.shareCheck)
                                                   : checkMountRoot(listing);
        for (const ShareState& share : shares) {
            rows[share.name] = !share.mount ? "(not mounted)"
                               : isBroken(share.condition)
                                   ? share.mount->source + "  (" + describe(share.condition) + ")"
                                   : share.mount->source;
            mounted += share.mount ? 1 : 0;
            *broken = *broken || (share.mount && isBroken(share.condition));
            width = std::max(width, share.name.size());
        }
        std::vector<std::string> lines;
        lines.push_back(mountRoot + ": " + std::to_string(mounted) + " share(s) mounted");
        for (const auto& [name, source] : rows) {
            // Names and sources come from the server: never raw to a terminal.
            lines.push_back("  " + escapeControlCharacters(name) +
                            std::string(width - name.size() + 2, ' ') +
                            escapeControlCharacters(source));
        }
        if (listing.error) {
            lines.push_back("  (the folder cannot be listed: " + *listing.error + ")");
        }
        return lines;
    }

    static constexpr int kNeedsUser = 3;

    const CommandLineStreams& io_;
    EngineConfig config_;
    SavedLogon saved_;
};

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, const CommandLineStreams& streams,
                   EngineConfig config, SavedLogon saved) {
    return Run(streams, std::move(config), std::move(saved)).command(arguments);
}

int runCommandLine(int argc, char** argv, SecretStore* secrets, SavedLogon saved) {
    // A reader that goes away (`quorvane logon ... | head -1`) must not end a logon halfway:
    // the workflow runs to its end, and the lost output is told on standard error.
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    EngineConfig config = EngineConfig::platformDefault();
    config.secrets = secrets;
    const int status = runCommandLine(arguments, {std::cin, std::cout, std::cerr},
                                      std::move(config), std::move(saved));
    if (!std::cout.flush()) {
        std::cerr << "quorvane: standard output was closed; the command ran to its end, exit "
                  << "status " << status << "." << std::endl;
    }
    return status;
}

}  // namespace quorvane
