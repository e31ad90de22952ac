#include "MountDaemon.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>

#include "HealthAnswers.h"
#include "LogonRefusals.h"
#include "MountSmbfs.h"

namespace quorvane::tools {

namespace {

using namespace std::chrono_literals;

// The first look at the share waits less than the mount's calls do: a logon against a server
// that does not answer fails well within the tool's own limit, and the user hears why.
constexpr auto kLogonTimeout = 5s;

void send(int fd, const MountReport& report) {
    const std::string line = formatReport(report);
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

int report(int fd, MountExit status, const std::string& cause) {
    send(fd, {static_cast<int>(status), cause});
    return static_cast<int>(status);
}

int reportRefusal(int fd, const ShareCheck& check, const ShareMount& share) {
    const std::string server = hostWithPort(share.parts);
    const std::string& name = share.parts.share;
    const std::string& user = share.login.user;
    switch (check.access) {
        case ShareAccess::Granted:
            break;
        case ShareAccess::WrongPassword:
            if (!share.login.password.empty()) {
                return report(fd, MountExit::WrongPassword,
                              "wrong user name or password for " + user + " on " + server);
            }
            if (check.ticketExpired) {
                // The library takes a ticket in its last minutes for expired too.
                return report(fd, MountExit::WrongPassword,
                              "the Kerberos ticket of " + user +
                                  " has run out or is in its last minutes, which the SMB client "
                                  "does not use; run kinit, or give a password");
            }
            return report(fd, MountExit::WrongPassword,
                          "no Kerberos ticket of " + user + " that " + server +
                              " accepts; run kinit, or give a password");
        case ShareAccess::OutsideLogonHours:
            return report(fd, MountExit::Failed, outsideLogonHoursCause(user, server));
        case ShareAccess::UnknownShare:
            return report(fd, MountExit::ShareUnavailable,
                          "no share named \"" + name + "\" on " + server);
        case ShareAccess::ForbiddenShare:
            return report(fd, MountExit::ShareUnavailable,
                          user + " may not use the share \"" + name + "\" on " + server);
        case ShareAccess::ServerNotFound:
            return report(fd, MountExit::ServerUnreachable,
                          "cannot reach the server " + server +
                              ": server not found (no DNS or NetBIOS name)");
        case ShareAccess::Unreachable:
            return report(fd, MountExit::ServerUnreachable,
                          "cannot reach the server " + server + ": " + check.detail);
        case ShareAccess::Other:
            break;
    }
    return report(fd, MountExit::Failed,
                  "could not open the share \"" + name + "\" on " + server + ": " + check.detail);
}

// The last line FUSE wrote to a descriptor, without its program prefix.
std::string lastLineOf(int fd) {
    std::string text;
    char buffer[1024];
    ::lseek(fd, 0, SEEK_SET);
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 16384) {
        text.append(buffer, static_cast<size_t>(n));
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    const size_t newline = text.rfind('\n');
    std::string line = newline == std::string::npos ? text : text.substr(newline + 1);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return line.empty() ? "no message from FUSE" : line;
}

void toDevNull(int fd, int flags) {
    const int null = ::open("/dev/null", flags | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, fd);
        ::close(null);
    }
}

}  // namespace

int runMountDaemon(DaemonRequest request, int reportFd) {
    // Until FUSE's own handlers are in place a stop signal simply ends the daemon; the tool
    // takes back whatever it had mounted.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        ::signal(signalNumber, SIG_DFL);
    }
    std::string error;
    if (!prepareSmbLibrary(&error)) {
        return report(reportFd, MountExit::Failed, error);
    }
    {
        // One connection for the check, made and dropped before any worker starts. The server
        // takes the password from this logon on (a refusal noted by another daemon of the
        // account before now is not this password's).
        request.share.login.heldSince = passwordClockNow();
        std::unique_ptr<SmbConnection> connection =
            SmbConnection::create(request.share.login, kLogonTimeout, &error);
        if (!connection) {
            return report(reportFd, MountExit::Failed, error);
        }
        const ShareCheck check = connection->check(request.share.parts);
        if (check.access != ShareAccess::Granted) {
            return reportRefusal(reportFd, check, request.share);
        }
    }
    // The mount's calls wait longer than the check did: the workers log on afresh with that
    // bound.
    WorkerPool workers(std::move(request.share), request.source, request.retitle);
    if (!workers.start(&error)) {
        return report(reportFd, MountExit::Failed, error);
    }

    // FUSE and fusermount3 write their complaints to standard error: keep them for the cause.
    const int errors = ::memfd_create("fuse-errors", MFD_CLOEXEC);
    const int savedError = ::dup(STDERR_FILENO);
    if (errors >= 0) {
        ::dup2(errors, STDERR_FILENO);
    }
    SmbFilesystem filesystem(workers);
    const bool mounted = filesystem.mount(request.mountPoint, request.source);
    if (savedError >= 0) {
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedError);
    }
    if (!mounted) {
        const std::string cause = errors >= 0 ? lastLineOf(errors) : "no message from FUSE";
        return report(reportFd, MountExit::FuseUnavailable, "FUSE refused the mount: " + cause);
    }
    if (errors >= 0) {
        ::close(errors);
    }
    // Answering before the mount is reported: whoever hears "mounted" and asks at once about
    // the share gets an answer, not a missing socket.
    const HealthAnswers health(workers);
    report(reportFd, MountExit::Mounted, "");
    ::close(reportFd);
    // From here on nothing talks to the terminal the tool was started from.
    toDevNull(STDIN_FILENO, O_RDONLY);
    toDevNull(STDOUT_FILENO, O_WRONLY);
    toDevNull(STDERR_FILENO, O_WRONLY);
    if (::chdir("/") != 0) {
        return 1;
    }
    return filesystem.serve();
}

}  // namespace quorvane::tools
