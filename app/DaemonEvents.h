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
/// ended (killed, crashed, or done after an unmount), a new one started (a logon or repair
/// from the command line), or one's server began or stopped failing its calls. It waits on the
/// kernel's own notices (the end of each daemon's process, the daemons' folder, where they
/// make and remove their sockets and marks), so an idle program wakes for nothing.
class DaemonEvents : public QObject {
    Q_OBJECT

public:
    /// Only the daemons of mounts below `mountRoot` count: others of the same user (another
    /// home's, in tests) come and go without news for this one.
    explicit DaemonEvents(const std::string& mountRoot, QObject* parent = nullptr);
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
