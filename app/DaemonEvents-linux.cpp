#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "DaemonEvents.h"
#include "ShareHealth.h"

namespace quorvane {

namespace {

// A descriptor that becomes readable when the process ends; -1 when it has already gone.
int processDescriptor(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

}  // namespace

struct DaemonEvents::Watch {
    int folder = -1;  // inotify on the daemons' socket folder
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

DaemonEvents::DaemonEvents(QObject* parent) : QObject(parent), watch_(std::make_unique<Watch>()) {
    if (const std::optional<std::string> sockets = daemonSocketFolder()) {
        watch_->folder = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_->folder >= 0 &&
            ::inotify_add_watch(watch_->folder, sockets->c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) >= 0) {
            watch_->folderNotifier =
                std::make_unique<QSocketNotifier>(watch_->folder, QSocketNotifier::Read);
            connect(watch_->folderNotifier.get(), &QSocketNotifier::activated, this, [this] {
                char events[4096];
                while (::read(watch_->folder, events, sizeof events) > 0) {
                }
                emit changed();
            });
        }
    }
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
