#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QVariantMap>
#include <QtTest>

#include "Notifier.h"

using namespace quorvane;

/// A stand-in notification service on the bus that records each call.
class NotificationRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString appName, icon, summary, body;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int timeout) {
        calls.append({appName, icon, summary, body, hints, timeout});
        return static_cast<uint>(calls.size());
    }
};

/// Notices reach the desktop's notification service over a real session bus (the test runs
/// under dbus-run-session).
class NotifierTest : public QObject {
    Q_OBJECT

private slots:
    void noticeGoesToTheNotificationService() {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            QSKIP("no session bus (run under dbus-run-session)");
        }
        QDBusConnection service =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        NotificationRecorder recorder;
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

        showNotice(nullptr, {QStringLiteral("Logon failed"),
                             QStringLiteral("Failed to mount initial user home directory."), true});
        QTRY_COMPARE(recorder.calls.size(), 1);
        const NotificationRecorder::Call& call = recorder.calls.first();
        QCOMPARE(call.appName, QStringLiteral("Quorvane"));
        QCOMPARE(call.icon, QStringLiteral("quorvane"));
        QCOMPARE(call.summary, QStringLiteral("Logon failed"));
        QCOMPARE(call.body, QStringLiteral("Failed to mount initial user home directory."));
        QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("quorvane"));
        QCOMPARE(call.timeout, kNoticeShownMs);
        service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }
};

QTEST_MAIN(NotifierTest)
#include "NotifierTest.moc"
