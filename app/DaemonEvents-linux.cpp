#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <vector>

#include "DaemonEvents.h"
#include "DaemonSockets.h"
#include "ProcessRunner.h"
#include "ShareHealth.h"

namespace quorvane {

namespace {

// A descriptor that becomes readable when the process ends; -1 when it has already gone.
int processDescriptor(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// Whether `pid` is a mount daemon ("mount_smbfs --serve SOURCE MOUNTPOINT") of a mount below
// `below`. The daemon writes its title over its first argument list and blanks the rest, so
// the list ends in empty words.
bool servesBelow(pid_t pid, const std::string& below) {
    const int fd =
        ::open(("/proc/" + std::to_string(pid) + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char text[4096];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    const std::vector<std::string> words =
        splitCommandLine(std::string(text, static_cast<size_t>(std::max<ssize_t>(n, 0))));
    return words.size() == 4 && words[1] == "--serve" && words[3].rfind(below, 0) == 0;
}

}  // namespace

struct DaemonEvents::Watch {
    std::string below;  // the mount root and a slash
    int folder = -1;    // inotify on the daemons' socket folder
    std::unique_ptr<QSocketNotifier> folderNotifier;
    struct Daemon {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
    };
    std::map<pid_t, Daemon> daemons;

    ~Watch() {
        for (auto& [pid, daemon] : daemons) {
            daemon.notifier.reset();
            ::close(daemon.fd);
        }
        folderNotifier.reset();
        if (folder >= 0) {
            ::close(folder);
        }
    }
};

DaemonEvents::DaemonEvents(const std::string& mountRoot, QObject* parent)
    : QObject(parent), watch_(std::make_unique<Watch>()) {
    watch_->below = mountRoot + "/";
    const std::optional<std::string> sockets = daemonSocketFolder();
    if (!sockets) {
        return;
    }
    watch_->folder = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_->folder < 0 ||
        ::inotify_add_watch(watch_->folder, sockets->c_str(),
                            IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
        return;
    }
    watch_->folderNotifier =
        std::make_unique<QSocketNotifier>(watch_->folder, QSocketNotifier::Read);
    connect(watch_->folderNotifier.get(), &QSocketNotifier::activated, this, [this] {
        alignas(inotify_event) char events[4096];
        bool news = false;
        ssize_t n = 0;
        while ((n = ::read(watch_->folder, events, sizeof events)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                const pid_t pid =
                    event->len > 0 ? daemons::pidOfDaemonFile(event->name).value_or(0) : 0;
                // A daemon already followed, or a new one of this mount root's; an event
                // without a name counts too (the queue overflowed). Other files there (a
                // socket not yet listening, the account notes) are no news.
                news = news || event->len == 0 ||
                       (pid > 0 &&
                        (watch_->daemons.count(pid) != 0 || servesBelow(pid, watch_->below)));
            }
        }
        if (news) {
            emit changed();
        }
    });
}

DaemonEvents::~DaemonEvents() = default;

void DaemonEvents::follow(const std::map<std::string, pid_t>& daemons) {
    std::map<pid_t, Watch::Daemon> kept;
    for (const auto& entry : daemons) {
        const pid_t pid = entry.second;
        if (kept.count(pid) != 0) {
            continue;
        }
        if (auto found = watch_->daemons.find(pid); found != watch_->daemons.end()) {
            kept[pid] = std::move(found->second);
            watch_->daemons.erase(found);
            continue;
        }
        Watch::Daemon daemon;
        daemon.fd = processDescriptor(pid);
        if (daemon.fd < 0) {
            continue;
        }
        daemon.notifier = std::make_unique<QSocketNotifier>(daemon.fd, QSocketNotifier::Read);
        connect(daemon.notifier.get(), &QSocketNotifier::activated, this, [this, pid] {
            // Once: an ended process stays readable.
            if (auto ended = watch_->daemons.find(pid); ended != watch_->daemons.end()) {
                ended->second.notifier->setEnabled(false);
            }
            emit changed();
        });
        kept[pid] = std::move(daemon);
    }
    for (auto& [pid, gone] : watch_->daemons) {
        gone.notifier.reset();
        ::close(gone.fd);
    }
    watch_->daemons = std::move(kept);
}

}  // namespace quorvane
