#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

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
    /// Something moved on the network; `networkChanged` follows once it has settled.
    void networkStirred();

private slots:
    /// logind says "false" once the computer is awake again.
    void prepareForSleep(bool goingToSleep) {
        if (!goingToSleep) {
            emit woke();
        }
    }
    /// NetworkManager's state changed (connected, disconnected, ...).
    void networkStateChanged(uint) { emit networkStirred(); }
    /// NetworkManager's properties changed; its connectivity (portal, full, none) among them.
    void networkPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList&) {
        if (interface == QLatin1String("org.freedesktop.NetworkManager") &&
            (changed.contains(QStringLiteral("Connectivity")) ||
             changed.contains(QStringLiteral("State")))) {
            emit networkStirred();
        }
    }

private:
    class Watch;
    Watch* watch_ = nullptr;
};

}  // namespace quorvane
