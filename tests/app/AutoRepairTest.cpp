#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QtTest>
#include <memory>

#include <signal.h>

#include "AppDelegate.h"
#include "AutoRepair.h"
#include "ContentView.h"
#include "DomainFixture.h"
#include "PanelTestSupport.h"
#include "Popover.h"
#include "QtTestSupport.h"
#include "ShareHealthWatch.h"
#include "Translations.h"
#include "TrayController.h"

using namespace quorvane;
namespace qt = quorvane::testing;

Q_DECLARE_METATYPE(quorvane::RepairStep)

/// A stand-in notification service that records each notice's title.
class NoticeRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList titles;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int) {
        titles.append(summary);
        return static_cast<uint>(titles.size());
    }
};

/// The repair after a wake: a decision table, and the whole road with the real engine, the
/// private Samba domain and real FUSE mounts. The wake comes as logind's signal on a bus of
/// the test's own, which the program takes for the system bus.
class AutoRepairTest : public QObject {
    Q_OBJECT

private:
    qt::TemporarySettings settings_;
    std::unique_ptr<qt::TempHome> home_;
    std::shared_ptr<qt::FakeSecretStore> secrets_ = std::make_shared<qt::FakeSecretStore>();
    NoticeRecorder notices_;

    static QString password(const std::string& user) {
        return QString::fromStdString(qt::sharedDomain().user(user).password);
    }

    // The tray's icon and its menu side by side, for a person to look at.
    static void saveTrayPicture(TrayController* tray, const QString& path) {
        tray->refreshMenu();
        const QPixmap icon = tray->icon()->icon().pixmap(64, 64);
        const QPixmap menu = tray->menu()->grab();
        QPixmap picture(icon.width() + menu.width() + 8, qMax(icon.height(), menu.height()));
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, icon);
        painter.drawPixmap(icon.width() + 8, 0, menu);
        painter.end();
        QVERIFY(picture.save(path));
        qInfo("tray picture: %s", qPrintable(path));
    }

    // Sent by the connection that owns logind's name, as logind's own would be.
    static void wake() {
        QDBusConnection logind(QStringLiteral("service"));
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << false;
        QVERIFY(logind.send(signal));
    }

    // NetworkManager's word that the network is connected again.
    static void networkBack() {
        QDBusConnection networkManager(QStringLiteral("service"));
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/NetworkManager"),
            QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("StateChanged"));
        signal << 70u;  // NM_STATE_CONNECTED_GLOBAL
        QVERIFY(networkManager.send(signal));
    }

private slots:
    void stepAfterTheCheck_data() {
        QTest::addColumn<QList<ShareCondition>>("conditions");
        QTest::addColumn<bool>("awayTold");
        QTest::addColumn<RepairStep>("step");
        using C = ShareCondition;
        QTest::newRow("all working")
            << QList<C>{C::Answering, C::Answering} << false << RepairStep::nothing;
        QTest::newRow("cannot be checked") << QList<C>{C::Unknown} << false << RepairStep::nothing;
        QTest::newRow("daemon gone")
            << QList<C>{C::Answering, C::MountGone} << false << RepairStep::reconnect;
        QTest::newRow("password refused")
            << QList<C>{C::PasswordRejected} << true << RepairStep::reconnect;
        QTest::newRow("away") << QList<C>{C::ServerNotAnswering, C::ServerNotAnswering} << false
                              << RepairStep::tellAway;
        QTest::newRow("away, told already")
            << QList<C>{C::ServerNotAnswering} << true << RepairStep::nothing;
        QTest::newRow("away and a dead daemon")
            << QList<C>{C::ServerNotAnswering, C::MountGone} << true << RepairStep::reconnect;
    }
    void stepAfterTheCheck() {
        QFETCH(QList<ShareCondition>, conditions);
        QFETCH(bool, awayTold);
        QFETCH(RepairStep, step);
        QMap<QString, ShareCondition> byName;
        for (int i = 0; i < conditions.size(); ++i) {
            byName.insert(QStringLiteral("share%1").arg(i), conditions[i]);
        }
        QCOMPARE(repairStepFor(byName, awayTold), step);
    }

    // Started at login away from the domain's network: said once, as being away rather than
    // failed; each network change tries the logon again until it is made, then no more.
    void aLogonAwayFromTheNetworkIsTriedAgainAtTheNextChange() {
        QSettings().setValue("logOnAutomatically", true);
        qt::StandIn standIn;
        WorkflowResult away{
            Outcome::Failed, "Away from FS1: shares will come back when the network does", {}};
        away.serverAway = true;
        standIn.firstAutoLogonResults = {away, away};
        ContentView view(standIn.workflows());
        const QTemporaryDir mountRoot;
        ShareHealthWatch health(mountRoot.path());
        int panelShown = 0;
        QList<Notice> told;
        AutoRepair repair(
            &view, &health, [&] { ++panelShown; }, [&](const Notice& n) { told.append(n); });

        view.startAutoLogon();
        QTRY_VERIFY(!view.isLoading());
        QVERIFY(!view.isLoggedIn());
        QCOMPARE(view.statusMessage(),
                 QStringLiteral("Away from FS1: shares will come back when the network does"));
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().title,
                 QStringLiteral("Away from FS1: shares will come back when the network does"));
        repair.systemChanged();  // still away: tried, not told again
        QTRY_COMPARE(standIn.calls->autoLogons.load(), 2);
        QTRY_VERIFY(!view.isLoading());
        repair.systemChanged();
        QTRY_COMPARE(standIn.calls->autoLogons.load(), 3);
        QTRY_VERIFY(view.isLoggedIn());
        repair.systemChanged();
        QTest::qWait(200);
        QCOMPARE(standIn.calls->autoLogons.load(), 3);
        QCOMPARE(panelShown, 0);
        QCOMPARE(told.size(), 1);
        QSettings().remove("logOnAutomatically");
        qt::drainWorkers();
    }

    // A daemon killed, then a wake: with the kept password the share comes back without a
    // click, costing the account no failed logon; with a kept password the server refuses, one
    // failed logon, nothing released, the password forgotten and the panel asks; with none,
    // nothing is tried at all.
    void aWakeRepairsWithTheKeptPasswordAndAsksWhenItIsRefused() {
        const std::string why = qt::whyNoRealMounts();
        if (!why.empty()) {
            if (qt::underCi()) {
                QFAIL(why.c_str());
            }
            QSKIP(why.c_str());
        }
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            QSKIP("no bus of the test's own (run under dbus-run-session)");
        }
        // The program hears logind on the test's bus, before anything has opened a system bus.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
        QDBusConnection service =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notices_,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.NetworkManager")));

        installTranslations(QLocale(QLocale::English));
        std::string error;
        QVERIFY2(qt::sharedDomain().running() || qt::sharedDomain().start(&error), error.c_str());
        home_ = std::make_unique<qt::TempHome>();
        for (const auto& [name, value] : home_->environment()) {
            qputenv(name.c_str(), QByteArray::fromStdString(value));
        }
        QSettings().setValue("hasLaunchedBefore", true);
        QSettings().setValue("rememberPassword", true);
        auto delegate =
            std::make_unique<AppDelegate>(engineWorkflows(secrets_), AppDelegate::TrayMode::tray);
        delegate->applicationDidFinishLaunching();
        TrayController* tray = delegate->trayController();
        ContentView* view = delegate->contentView();
        qt::typeAndLogOn(view, QStringLiteral("alice"), password("alice"),
                         QString::fromStdString(qt::sharedDomain().server()));
        QTRY_VERIFY_WITH_TIMEOUT(!view->isLoading(), 60000);
        QVERIFY2(view->isLoggedIn(), qPrintable(view->statusMessage()));
        QVERIFY(secrets_->kept);
        QTRY_VERIFY(!tray->health()->checking());
        delegate->popover()->close();

        const std::string projects = home_->mountRoot() + "/Projects";
        const auto breakProjects = [&] {
            QCOMPARE(::kill(qt::daemonOf(projects), SIGKILL), 0);
            QVERIFY(qt::waitForNoDaemon(projects));
            QTRY_VERIFY_WITH_TIMEOUT(tray->status().state == TrayState::sharesBroken, 5000);
        };
        const int failedBefore = qt::sharedDomain().failedLogons("alice");
        breakProjects();
        saveTrayPicture(tray, "/tmp/quorvane-wake-before.png");
        notices_.titles.clear();
        wake();
        QTRY_VERIFY_WITH_TIMEOUT(tray->status().state == TrayState::loggedOn, 60000);
        saveTrayPicture(tray, "/tmp/quorvane-wake-after.png");
        QVERIFY(!qt::readFile(projects + "/welcome.txt").empty());
        QTRY_COMPARE(notices_.titles, QStringList{"Shares reconnected"});
        QCOMPARE(qt::sharedDomain().failedLogons("alice"), failedBefore);
        QVERIFY(!delegate->popover()->isVisible());

        // The kept password no longer taken: one try, nothing released, the panel asks.
        const std::string account = secrets_->kept->substr(0, secrets_->kept->find('\n') + 1);
        secrets_->kept = account + "not-the-password";
        breakProjects();
        wake();
        QTRY_VERIFY_WITH_TIMEOUT(!secrets_->kept, 60000);
        QTRY_VERIFY(!view->isLoading());
        QVERIFY(delegate->popover()->isVisible());
        QVERIFY(view->needsPassword());
        QCOMPARE(qt::sharedDomain().failedLogons("alice"), failedBefore + 1);
        QCOMPARE(tray->status().state, TrayState::sharesBroken);
        QCOMPARE(home_->mountRootEntries().size(), size_t(6));
        delegate->popover()->close();

        // Nothing kept, and the network back: nothing tried, the share left broken as it was,
        // the panel not pushed.
        QSignalSpy repairs(view, &ContentView::reconnectFinished);
        networkBack();
        QTRY_COMPARE_WITH_TIMEOUT(repairs.size(), 1, 20000);
        QVERIFY(!delegate->popover()->isVisible());
        QCOMPARE(qt::sharedDomain().failedLogons("alice"), failedBefore + 1);
        QCOMPARE(tray->status().state, TrayState::sharesBroken);
        delegate.reset();
    }

    void cleanupTestCase() {
        qt::drainWorkers();
        if (home_) {
            home_->releaseAll();
            home_.reset();
        }
        qt::sharedDomain().stop();
    }
};

QTEST_MAIN(AutoRepairTest)
#include "AutoRepairTest.moc"
