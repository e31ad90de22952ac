#include "ShareCheck.h"

#include <sys/prctl.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MountSmbfs.h"
#include "MountToolStatus.h"
#include "ProcessTitle.h"
#include "SmbConnection.h"
#include "ToolProcess.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// Each share's logon waits no longer than a mount's first look does.
constexpr auto kLogonTimeout = 5s;

bool sameLogonAndServer(const SmbUrlParts& a, const SmbUrlParts& b) {
    return a.user == b.user && a.password == b.password && a.host == b.host && a.port == b.port;
}

}  // namespace

int runShareCheck(int argc, char** argv) {
    ::prctl(PR_SET_DUMPABLE, 0);  // it holds the password
    installStopHandlers();
    std::vector<SmbUrlParts> shares;
    std::vector<std::string> shown{argv[0], kCheckSharesOption};
    for (int i = 2; i < argc; ++i) {
        std::optional<SmbUrlParts> parts = parseSmbUrl(argv[i]);
        if (!parts || (!shares.empty() && !sameLogonAndServer(*parts, shares.front()))) {
            // A URL may hold a password, so none is repeated here.
            return fail(MountExit::BadUsage,
                        "bad URL: expected smb://[USER[:PASSWORD]@]HOST[:PORT]/SHARE, the same "
                        "user and server in each (see mount_smbfs --help)");
        }
        shown.push_back(mountSource(*parts));
        shares.push_back(std::move(*parts));
    }
    if (shares.empty()) {
        return fail(MountExit::BadUsage, "expected at least one SMB URL (see mount_smbfs --help)");
    }
    // Other users' programs may read the argument list: the password leaves it at once.
    replaceArgumentList(argc, argv, shown);

    int exitStatus = 0;
    std::optional<std::string> password = passwordFor(shares.front(), &exitStatus);
    if (!password) {
        return exitStatus;
    }
    std::string error;
    std::unique_ptr<SmbConnection> connection = SmbConnection::create(
        loginFor(shares.front().user, std::move(*password)), kLogonTimeout, &error);
    if (!connection) {
        return fail(MountExit::Failed, error);
    }
    const std::string server = hostWithPort(shares.front());
    std::string words;
    for (const SmbUrlParts& share : shares) {
        if (stopSignal() != 0) {
            return 128 + stopSignal();
        }
        const ShareCheck check = connection->check(share);
        switch (check.access) {
            case ShareAccess::Granted:
            case ShareAccess::ForbiddenShare:
                words += std::string(kSharePresent) + "\n";
                break;
            case ShareAccess::UnknownShare:
                words += std::string(kShareAbsent) + "\n";
                break;
            case ShareAccess::WrongPassword:
                return fail(MountExit::WrongPassword, "wrong user name, password or ticket for " +
                                                          share.user + " on " + server);
            case ShareAccess::OutsideLogonHours:
                return fail(MountExit::Failed, outsideLogonHoursCause(share.user, server));
            case ShareAccess::ServerNotFound:
            case ShareAccess::Unreachable:
                return fail(MountExit::ServerUnreachable,
                            "cannot reach the server " + server + ": " + check.detail);
            case ShareAccess::Other:
                words += std::string(kShareUnknown) + "\n";
                break;
        }
    }
    std::cout << words << std::flush;
    return 0;
}

}  // namespace quorvane::tools
