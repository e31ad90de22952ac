#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QSystemTrayIcon>

#include "Notifier.h"
#include "ShownText.h"

// The freedesktop notification service (org.freedesktop.Notifications), which every Linux
// desktop runs; a tray that embeds icons the old way would otherwise show Qt's own balloon.
namespace quorvane {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

bool serviceAvailable(const QDBusConnection& bus) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusConnectionInterface* daemon = bus.interface();
    if (daemon->isServiceRegistered(kService)) {
        return true;
    }
    // A notification daemon that the bus starts on the first call counts as well.
    const QDBusReply<QStringList> activatable =
        daemon->call(QStringLiteral("ListActivatableNames"));
    return activatable.isValid() && activatable.value().contains(kService);
}

}  // namespace

void showNotice(QSystemTrayIcon* trayIcon, const Notice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (serviceAvailable(bus)) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quorvane"));
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));  // normal
        call << QStringLiteral("Quorvane") << 0u << QStringLiteral("quorvane") << notice.title
             << notificationBody(notice.body) << QStringList() << hints << kNoticeShownMs;
        bus.asyncCall(call);
        return;
    }
    if (trayIcon) {
        trayIcon->showMessage(
            notice.title, notice.body,
            notice.isWarning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
            kNoticeShownMs);
    }
}

}  // namespace quorvane
