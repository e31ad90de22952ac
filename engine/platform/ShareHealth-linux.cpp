#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "DaemonSockets.h"
#include "FileServices.h"
#include "HealthProtocol.h"
#include "ProcessRunner.h"
#include "ShareHealth.h"

namespace quorvane {

namespace {

// The daemon shows itself as "mount_smbfs --serve SOURCE MOUNTPOINT".
struct Daemon {
    pid_t pid = -1;
    bool stopped = false;
};

// The mount daemons of this user, by the mount point they serve. Reading /proc never blocks
// on a mount.
std::map<std::string, Daemon> daemonsOfThisUser() {
    std::map<std::string, Daemon> daemons;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return daemons;
    }
    const uid_t self = ::getuid();
    const std::string tool = daemons::installedMountTool();
    while (const dirent* entry = ::readdir(proc)) {
        const std::string name = entry->d_name;
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        // Not its folder's owner: a daemon that may not dump shows /proc/PID as root's.
        const std::string status = files::readWholeFile("/proc/" + name + "/status").value_or("");
        const size_t uidLine = status.find("\nUid:\t");
        if (uidLine == std::string::npos ||
            std::strtoul(status.c_str() + uidLine + 6, nullptr, 10) != self) {
            continue;
        }
        const std::vector<std::string> words =
            splitCommandLine(files::readWholeFile("/proc/" + name + "/cmdline").value_or(""));
        if (words.size() != 4 || words[1] != "--serve" ||
            words[0].substr(words[0].rfind('/') + 1) != "mount_smbfs") {
            continue;
        }
        Daemon daemon;
        daemon.pid = static_cast<pid_t>(std::stoi(name));
        // A program that only takes the tool's name is no daemon of this installation's.
        if (daemons::programOf(daemon.pid, tool) == daemons::Program::Other) {
            continue;
        }
        // "PID (COMM) STATE ...": the state follows the last ')'.
        const std::string stat = files::readWholeFile("/proc/" + name + "/stat").value_or("");
        const size_t close = stat.rfind(')');
        daemon.stopped = close != std::string::npos && close + 2 < stat.size() &&
                         (stat[close + 2] == 'T' || stat[close + 2] == 't');
        daemons[words[3]] = daemon;
    }
    ::closedir(proc);
    return daemons;
}

// A connected socket to the daemon's health answers with `message` sent, or -1 when the
// socket is missing or not that daemon's. Before a password goes, the daemon must also run
// this installation's mount tool: a program of the user's that only takes the tool's name
// and arguments gets nothing.
int askDaemon(pid_t daemon, const std::string& message = health::kQuestion,
              bool givesPassword = false) {
    const std::optional<std::string> folder = daemons::socketFolder();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder ? daemons::socketPath(*folder, daemon) : std::string();
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    ucred peer{};
    socklen_t peerLength = sizeof peer;
    // The folder keeps other users out; the listener's credentials tell which process of this
    // user's listens there. A password goes only to a process that runs this installation's
    // mount tool, or whose program the system hides from its own user: a daemon may not be
    // dumped, so an ordinary user cannot read what it runs (root can, and is never fooled).
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peerLength) != 0 || peer.pid != daemon ||
        peer.uid != ::getuid() ||
        (givesPassword &&
         daemons::programOf(daemon, daemons::installedMountTool()) == daemons::Program::Other) ||
        ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(message.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ShareCondition conditionFromAnswer(const std::string& answer) {
    const std::map<std::string, ShareCondition> answers = {
        {health::kAnswering, ShareCondition::Answering},
        {health::kNotAnswering, ShareCondition::ServerNotAnswering},
        {health::kPasswordRefused, ShareCondition::PasswordRejected},
        {health::kTicketRefused, ShareCondition::TicketExpired},
        {health::kShareUnavailable, ShareCondition::ShareUnavailable},
    };
    const auto found = answers.find(answer);
    return found == answers.end() ? ShareCondition::Unknown : found->second;
}

// What a mount's daemon tells without being asked: gone, or stopped; nothing otherwise.
std::optional<ShareCondition> conditionUnasked(const MountEntry& mount,
                                               const std::map<std::string, Daemon>& daemons) {
    const auto daemon = daemons.find(mount.mountPoint);
    if (daemon == daemons.end()) {
        return ShareCondition::MountGone;
    }
    if (daemon->second.stopped) {
        return ShareCondition::MountStuck;
    }
    return std::nullopt;
}

}  // namespace

ShareCondition handPasswordToDaemon(const std::string& mountPoint, const std::string& password,
                                    std::chrono::milliseconds limit) {
    const std::map<std::string, Daemon> daemons = daemonsOfThisUser();
    const auto daemon = daemons.find(mountPoint);
    if (daemon == daemons.end() || daemon->second.stopped ||
        password.size() > health::kPasswordLimit) {
        return ShareCondition::Unknown;
    }
    std::string message = health::kNewPassword + password;
    const int fd = askDaemon(daemon->second.pid, message, true);
    ::explicit_bzero(message.data(), message.size());
    if (fd < 0) {
        return ShareCondition::Unknown;
    }
    ::shutdown(fd, SHUT_WR);  // the end of the password
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string answer;
    while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 ||
            (::poll(&entry, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)) {
            break;
        }
        char buffer[64];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            break;
        }
        answer.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    ::close(fd);
    const size_t newline = answer.find('\n');
    return newline == std::string::npos ? ShareCondition::ServerNotAnswering
                                        : conditionFromAnswer(answer.substr(0, newline));
}

std::vector<ShareCondition> checkShares(const std::vector<std::string>& folders,
                                        const std::vector<std::optional<MountEntry>>& mounts,
                                        std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<ShareCondition> conditions(folders.size(), ShareCondition::NotAMount);
    const std::map<std::string, Daemon> daemons = daemonsOfThisUser();
    struct Question {
        size_t share;
        int fd;
        std::string answer;
    };
    std::vector<Question> questions;
    for (size_t i = 0; i < folders.size() && i < mounts.size(); ++i) {
        if (!mounts[i]) {
            continue;
        }
        if (mounts[i]->fileSystemType != "fuse.smbfs") {
            conditions[i] = ShareCondition::Unknown;
            continue;
        }
        if (const std::optional<ShareCondition> unasked = conditionUnasked(*mounts[i], daemons)) {
            conditions[i] = *unasked;
        } else if (const int fd = askDaemon(daemons.at(mounts[i]->mountPoint).pid); fd < 0) {
            conditions[i] = ShareCondition::Unknown;
        } else {
            // Until an answer comes, the daemon is waiting on the server.
            conditions[i] = ShareCondition::ServerNotAnswering;
            questions.push_back({i, fd, {}});
        }
    }
    size_t open = questions.size();
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        std::vector<pollfd> waiting;
        std::vector<Question*> owners;
        for (Question& question : questions) {
            if (question.fd >= 0) {
                waiting.push_back({question.fd, POLLIN, 0});
                owners.push_back(&question);
            }
        }
        const int ready = ::poll(waiting.data(), waiting.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        for (size_t w = 0; w < waiting.size(); ++w) {
            if (waiting[w].revents == 0) {
                continue;
            }
            Question& question = *owners[w];
            char buffer[64];
            const ssize_t n = ::recv(question.fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                question.answer.append(buffer, static_cast<size_t>(n));
            }
            const size_t newline = question.answer.find('\n');
            if (n > 0 && newline == std::string::npos && question.answer.size() < 64) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            conditions[question.share] =
                newline == std::string::npos
                    ? ShareCondition::Unknown
                    : conditionFromAnswer(question.answer.substr(0, newline));
            ::close(question.fd);
            question.fd = -1;
            --open;
        }
    }
    for (Question& question : questions) {
        if (question.fd >= 0) {
            ::close(question.fd);
        }
    }
    return conditions;
}

std::vector<std::optional<ShareCondition>> quickConditions(
    const std::vector<std::optional<MountEntry>>& mounts) {
    const std::map<std::string, Daemon> daemons = daemonsOfThisUser();
    std::vector<std::optional<ShareCondition>> conditions(mounts.size());
    for (size_t i = 0; i < mounts.size(); ++i) {
        if (!mounts[i] || mounts[i]->fileSystemType != "fuse.smbfs") {
            continue;
        }
        conditions[i] = conditionUnasked(*mounts[i], daemons);
    }
    return conditions;
}

std::map<std::string, pid_t> mountDaemonPids() {
    std::map<std::string, pid_t> pids;
    for (const auto& [mountPoint, daemon] : daemonsOfThisUser()) {
        pids[mountPoint] = daemon.pid;
    }
    return pids;
}

std::optional<std::string> daemonSocketFolder() {
    return daemons::socketFolder();
}

void endStoppedDaemonsOf(const std::vector<std::string>& mountPoints) {
    if (mountPoints.empty()) {
        return;
    }
    const std::map<std::string, Daemon> daemons = daemonsOfThisUser();
    for (const std::string& mountPoint : mountPoints) {
        if (const auto found = daemons.find(mountPoint);
            found != daemons.end() && found->second.stopped) {
            ::kill(found->second.pid, SIGKILL);  // the one signal a stopped process obeys
        }
    }
}

}  // namespace quorvane
