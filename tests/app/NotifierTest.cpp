#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QVariantMap>
#include <QtTest>

#include <TerminalText.h>

#include "Notices.h"
#include "Notifier.h"
#include "ShownText.h"

using namespace quorvane;

Q_DECLARE_METATYPE(quorvane::Outcome)

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

private:
    NotificationRecorder recorder_;

private slots:
    void init() {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            QSKIP("no session bus (run under dbus-run-session)");
        }
        recorder_.calls.clear();
        QDBusConnection service =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder_,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void cleanup() {
        QDBusConnection(QStringLiteral("service"))
            .unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    }

    // One row per hostile text from a server: how the tray menu and a notification show it
    // (the terminal's escaping has its own table in the engine's tests).
    void serverTextThroughEveryOutput_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("notification");
        QTest::newRow("ampersand") << "R&D"
                                   << "R&&D"
                                   << "R&amp;D";
        QTest::newRow("markup") << "<b>Missing \"x\""
                                << "<b>Missing \"x\""
                                << "&lt;b&gt;Missing \"x\"";
        const QString title = "\\u{1B}]0;PWNED\\u{7}X";
        QTest::newRow("terminal title") << "\x1b]0;PWNED\x07X" << title << title;
        const QString marks = "Lab\\u{9B}2J \\u{202E}exe.txt";
        QTest::newRow("C1 and bidi")
            << QString::fromUtf8("Lab\u009B2J \u202Eexe.txt") << marks << marks;
    }
    void serverTextThroughEveryOutput() {
        QFETCH(QString, text);
        QFETCH(QString, menu);
        QFETCH(QString, notification);
        QCOMPARE(menuText(text), menu);
        showNotice(nullptr, {QStringLiteral("Logon failed"), text, true});
        QTRY_COMPARE(recorder_.calls.size(), 1);
        const NotificationRecorder::Call& call = recorder_.calls.first();
        QCOMPARE(call.appName, QStringLiteral("Quorvane"));
        QCOMPARE(call.icon, QStringLiteral("quorvane"));
        QCOMPARE(call.summary, QStringLiteral("Logon failed"));
        QCOMPARE(call.body, notification);
        QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("quorvane"));
        QCOMPARE(call.timeout, kNoticeShownMs);
    }

    // A notice's own lines stay lines; a line break sent by the server stays visible as an
    // escape within its line.
    void noticeKeepsItsLinesAndEscapesTheServers_data() {
        QTest::addColumn<quorvane::Outcome>("outcome");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("share");
        QTest::addColumn<QString>("body");
        using quorvane::Outcome;
        QTest::newRow("partial logon") << Outcome::PartlyDone << ""
                                       << "Media"
                                       << "Media: The server has no share of this name.\n1 "
                                          "share(s) mounted under ~/smbmounts.";
        QTest::newRow("share name with a line break")
            << Outcome::PartlyDone << ""
            << "Media\nAll shares mounted"
            << "Media\\nAll shares mounted: The server has no share of this name.\n"
               "1 share(s) mounted under ~/smbmounts.";
        QTest::newRow("unreadable share map")
            << Outcome::PartlyDone << "shares.ini <unreadable>\r"
            << ""
            << "shares.ini &lt;unreadable&gt;\\r\n1 share(s) mounted under ~/smbmounts.";
        QTest::newRow("failed logon") << Outcome::Failed << "Refused\nLogged on"
                                      << ""
                                      << "Refused\\nLogged on";
    }
    void noticeKeepsItsLinesAndEscapesTheServers() {
        QFETCH(quorvane::Outcome, outcome);
        QFETCH(QString, message);
        QFETCH(QString, share);
        QFETCH(QString, body);
        std::vector<ShareProblem> notMounted;
        if (!share.isEmpty()) {
            notMounted.push_back({share.toStdString(), "The server has no share of this name."});
        }
        const std::optional<Notice> notice =
            noticeFor(Workflow::logon, outcome, message, {QStringLiteral("alice")}, notMounted);
        QVERIFY(notice);
        showNotice(nullptr, *notice);
        QTRY_COMPARE(recorder_.calls.size(), 1);
        QCOMPARE(recorder_.calls.first().body, body);
    }
};

QTEST_MAIN(NotifierTest)
#include "NotifierTest.moc"
