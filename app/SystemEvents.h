#pragma once

#include <QObject>

namespace quorvane {

/// Tells when the shares' health may have changed without the program doing anything: the
/// computer woke from sleep, or the network changed. It waits on the system's own
/// notifications and wakes for nothing else, so an idle program stays asleep.
class SystemEvents : public QObject {
    Q_OBJECT

public:
    explicit SystemEvents(QObject* parent = nullptr);
    ~SystemEvents() override;

signals:
    void woke();
    void networkChanged();

private slots:
    /// logind says "false" once the computer is awake again.
    void prepareForSleep(bool goingToSleep) {
        if (!goingToSleep) {
            emit woke();
        }
    }

private:
    class Watch;
    Watch* watch_ = nullptr;
};

}  // namespace quorvane
