#pragma once

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <string>

class QSocketNotifier;

namespace quorvane {

/// Tells the moment the mounted shares may have changed without being asked: a mount daemon
/// ended (killed, crashed, or done after an unmount), a new one started (a repair from the
/// command line), or a mount came or went. It waits on the kernel's own notices (the end of
/// each daemon's process, the daemons' socket folder, the mount table), so an idle program
/// wakes for nothing.
class DaemonEvents : public QObject {
    Q_OBJECT

public:
    explicit DaemonEvents(QObject* parent = nullptr);
    ~DaemonEvents() override;

    /// Watches for the end of these daemons (pids by mount point) from now on, and no others.
    void follow(const std::map<std::string, pid_t>& daemons);

signals:
    void changed();

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace quorvane
