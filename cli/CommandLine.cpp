#include "CommandLine.h"

#include <signal.h>

#include <algorithm>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>

#include "CoreDumps.h"
#include "FileServices.h"
#include "MountTable.h"
#include "PasswordInput.h"
#include "SMBManager.h"
#include "ShareHealth.h"
#include "TerminalText.h"

namespace quorvane {

namespace {

const char* const kHelp =
    "usage: quorvane [logon --server SERVER --user NAME | logout | status | reconnect\n"
    "                | --help | --version]\n"
    "With no command, quorvane starts the tray icon and its logon panel; the standard Qt\n"
    "options (-platform, -style, ...) may be given then.\n"
    "\n"
    "  logon --server SERVER --user NAME\n"
    "      Mounts NAME's home share of SERVER, reads NAME's groups from \"mac.bat\" on it,\n"
    "      mounts every group share that \"shares.ini\" on the \"netlogon\" share gives this\n"
    "      platform and those groups, all under ~/smbmounts, and releases \"netlogon\".\n"
    "      SERVER is a host name or address, optionally with \":PORT\" or an \"smb://\" in\n"
    "      front. The password is read from standard input: typed without echo at a\n"
    "      terminal, otherwise the whole input with one trailing line break dropped. It is\n"
    "      never taken from the command line or the environment.\n"
    "  logout\n"
    "      Unmounts every share under ~/smbmounts and removes the emptied folders. A share\n"
    "      that is still in use stays mounted, and nothing inside it is deleted.\n"
    "  status\n"
    "      Lists what is mounted under ~/smbmounts and from where, and for each share that\n"
    "      does not work why: server not answering, password no longer accepted, Kerberos\n"
    "      ticket expired, share no longer available, mount gone (its daemon ended), mount\n"
    "      stopped. All shares are asked at once; it takes a few seconds at most.\n"
    "  reconnect\n"
    "      Mounts again every share that status shows as not working (a server no longer\n"
    "      answering is left as it is), for the user and server it was mounted for. The\n"
    "      password is read from standard input as for logon; an empty one uses the user's\n"
    "      Kerberos ticket. A share whose mount is gone is detached even while a program\n"
    "      holds a file there: that program gets errors from its old file.\n"
    "  --help\n"
    "      Shows this text.\n"
    "  --version\n"
    "      Shows the version.\n"
    "\n"
    "logon and logout print the same lines as the panel's workflows, then the status\n"
    "message. Exit status: 0 when logon or logout succeeded, 1 when it failed, 2 for bad\n"
    "usage.\n";

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

class StopSignalsDuring {
public:
    explicit StopSignalsDuring(Interruption& stop) {
        g_stop = &stop;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            ::sigaction(kSignals[i], &action, &previous_[i]);
        }
    }
    ~StopSignalsDuring() {
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            ::sigaction(kSignals[i], &previous_[i], nullptr);
        }
        g_stop = nullptr;
    }
    StopSignalsDuring(const StopSignalsDuring&) = delete;
    StopSignalsDuring& operator=(const StopSignalsDuring&) = delete;

private:
    static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[3];
};

// One run of the command line: its arguments, streams and engine.
class Run {
public:
    Run(const CommandLineStreams& streams, EngineConfig config)
        : io_(streams), config_(std::move(config)) {
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
        for (size_t i = 0; i < arguments.size(); ++i) {
            const std::string& argument = arguments[i];
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
        if (!server || server->empty()) {
            return badUsage("logon: --server SERVER is missing");
        }
        if (!user || user->empty()) {
            return badUsage("logon: --user NAME is missing");
        }

        disableCoreDumps();  // before the password is in memory
        const std::optional<std::string> password =
            &io_.in == &std::cin ? readPassword("Password for " + *user + ": ")
                                 : readPassword(io_.in);
        if (!password) {
            io_.err << "quorvane: could not read the password from standard input" << std::endl;
            return 2;
        }
        if (password->empty()) {
            return badUsage("logon: no password on standard input");
        }
        Interruption stop;
        const StopSignalsDuring stopSignals(stop);
        EngineConfig config = config_;
        config.interruption = &stop;
        const WorkflowResult result = SMBManager(config).logon(*server, *user, *password);
        if (result.outcome == Outcome::Interrupted && stop.raised()) {
            io_.out << "quorvane: logon stopped by signal " << stop.reason()
                    << "; shares mounted before stay mounted." << std::endl;
            return 128 + stop.reason();
        }
        io_.out << result.message << std::endl;
        return exitStatusOf(result);
    }

    int reconnect() {
        disableCoreDumps();  // before the password is in memory
        const std::optional<std::string> password =
            &io_.in == &std::cin ? readPassword("Password (empty: Kerberos ticket): ")
                                 : readPassword(io_.in);
        if (!password) {
            io_.err << "quorvane: could not read the password from standard input" << std::endl;
            return 2;
        }
        Interruption stop;
        const StopSignalsDuring stopSignals(stop);
        EngineConfig config = config_;
        config.interruption = &stop;
        const WorkflowResult result = SMBManager(config).reconnect(*password);
        io_.out << result.message << std::endl;
        return exitStatusOf(result);
    }

    int logout() {
        const WorkflowResult result = SMBManager(config_).logout();
        io_.out << result.message << std::endl;
        return exitStatusOf(result);
    }

    int status() {
        for (const std::string& line : describeMountRoot(SMBManager(config_).mountRoot())) {
            io_.out << line << '\n';
        }
        io_.out << std::flush;
        return 0;
    }

    // One line per visible folder of the mount root, with where its mount comes from.
    std::vector<std::string> describeMountRoot(const std::string& mountRoot) const {
        if (!files::exists(mountRoot)) {
            return {"No shares mapped (smbmounts folder not found)."};
        }
        const files::Listing listing = files::listVisibleEntries(mountRoot);
        // All at once, within one bound, without looking into any mounted folder.
        std::map<std::string, std::string> rows;  // folder name -> where it comes from
        size_t mounted = 0;
        size_t width = 0;
        for (const ShareState& share : checkMountRoot(mountRoot, config_.mountTable)) {
            rows[share.name] = !share.mount ? "(not mounted)"
                               : isBroken(share.condition)
                                   ? share.mount->source + "  (" + describe(share.condition) + ")"
                                   : share.mount->source;
            mounted += share.mount ? 1 : 0;
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

    const CommandLineStreams& io_;
    EngineConfig config_;
};

}  // namespace

int runCommandLine(const std::vector<std::string>& arguments, const CommandLineStreams& streams,
                   EngineConfig config) {
    return Run(streams, std::move(config)).command(arguments);
}

int runCommandLine(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return runCommandLine(arguments, {std::cin, std::cout, std::cerr});
}

}  // namespace quorvane
