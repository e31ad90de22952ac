#include <QAction>
#include <QMenu>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QtTest>
#include <memory>

#include "AppDelegate.h"
#include "ContentView.h"
#include "PanelTestSupport.h"
#include "Popover.h"
#include "Translations.h"
#include "TrayController.h"
#include "TrayState.h"

using namespace quorvane;
using quorvane::testing::StandIn;

Q_DECLARE_METATYPE(quorvane::Notice)

namespace {

QImage alphaMask(TrayState state) {
    return trayStateIcon(state, 1.0).pixmap(22, 22).toImage().createAlphaMask();
}

QStringList actionNames(const QMenu* menu) {
    QStringList names;
    for (const QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            names << action->text() + (action->isEnabled() ? "" : " (disabled)");
        }
    }
    return names;
}

}  // namespace

/// The tray icon around the panel, driven by stand-in workflows; no share is mounted, so the
/// mount root is an empty temporary folder.
class TrayShellTest : public QObject {
    Q_OBJECT

private:
    quorvane::testing::TemporarySettings settings_;
    QTemporaryDir config_;

    std::unique_ptr<AppDelegate> launch(const StandIn& standIn) {
        QSettings().setValue("hasLaunchedBefore", true);
        auto delegate =
            std::make_unique<AppDelegate>(standIn.workflows(), AppDelegate::TrayMode::tray);
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

private slots:
    void initTestCase() {
        qRegisterMetaType<quorvane::Notice>();
        // The English plural forms, as the program loads them.
        QVERIFY(quorvane::installTranslations(QLocale(QLocale::English)).isEmpty());
        // Start-at-login entries go to a folder of the test's own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.filePath("home")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(config_.filePath("system")));
        // The mount root, ~/smbmounts, of an empty home.
        qputenv("HOME", QFile::encodeName(config_.filePath("user")));
        // A session bus that cannot be reached (and no autolaunch): notices go to the tray
        // icon's own message.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    }
    void init() { quorvane::testing::TemporarySettings::clear(); }
    void cleanup() { quorvane::testing::drainWorkers(); }

    void everyStateHasItsOwnShape() {
        const QList<TrayState> states{TrayState::loggedOff, TrayState::busy, TrayState::loggedOn,
                                      TrayState::sharesLeftMounted};
        for (int i = 0; i < states.size(); ++i) {
            QVERIFY(!trayStateIcon(states[i], 1.0).isNull());
            for (int j = i + 1; j < states.size(); ++j) {
                // Alpha masks: the outlines differ, not only the colours.
                QVERIFY2(
                    alphaMask(states[i]) != alphaMask(states[j]),
                    qPrintable(QStringLiteral("states %1 and %2 share a shape").arg(i).arg(j)));
            }
        }
    }

    void toolTipSaysTheStateInWords_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("loggingOut");
        QTest::addColumn<int>("shares");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("logged off")
            << int(TrayState::loggedOff) << false << 0 << "Logon Client: logged off";
        QTest::newRow("logged off, shares left from an earlier run")
            << int(TrayState::loggedOff) << false << 2
            << "Logon Client: logged off, 2 shares still mounted";
        QTest::newRow("logging on")
            << int(TrayState::busy) << false << 0 << "Logon Client: logging on…";
        QTest::newRow("logging out")
            << int(TrayState::busy) << true << 3 << "Logon Client: logging out…";
        QTest::newRow("logged on, one share")
            << int(TrayState::loggedOn) << false << 1 << "Logon Client: logged on, 1 share mounted";
        QTest::newRow("some left")
            << int(TrayState::sharesLeftMounted) << false << 1
            << "Logon Client: some shares could not be released (1 share still mounted)";
    }
    void toolTipSaysTheStateInWords() {
        QFETCH(int, state);
        QFETCH(bool, loggingOut);
        QFETCH(int, shares);
        QFETCH(QString, toolTip);
        QCOMPARE(trayToolTip({static_cast<TrayState>(state), loggingOut, shares}), toolTip);
    }

    void iconFollowsTheWorkflowsAndNoticesTellTheEnd_data() {
        QTest::addColumn<QString>("logonMessage");
        QTest::addColumn<int>("logonOutcome");
        QTest::addColumn<int>("stateAfterLogon");
        QTest::addColumn<QString>("noticeTitle");
        QTest::addColumn<QString>("noticeBody");
        QTest::newRow("logon finished")
            << "Logon workflow finished. Shares mapped under ~/smbmounts/"
            << int(quorvane::Outcome::Succeeded) << int(TrayState::loggedOn) << "Logged on"
            << "0 shares mounted under ~/smbmounts.";
        QTest::newRow("logon failed, the cause in the notice")
            << "Failed to mount initial user home directory. Wrong user name or password."
            << int(quorvane::Outcome::Failed) << int(TrayState::loggedOff) << "Logon failed"
            << "Failed to mount initial user home directory. Wrong user name or password.";
        QTest::newRow("logon partly done, each share left out with its reason")
            << "Logon workflow finished. Shares mapped under ~/smbmounts/ Not mounted: Admin."
            << int(quorvane::Outcome::PartlyDone) << int(TrayState::partlyLoggedOn)
            << "Logged on, 1 share not mounted"
            << "Admin: The share is unknown or not allowed.\n0 shares mounted under ~/smbmounts.";
    }
    void iconFollowsTheWorkflowsAndNoticesTellTheEnd() {
        QFETCH(QString, logonMessage);
        QFETCH(int, logonOutcome);
        QFETCH(int, stateAfterLogon);
        QFETCH(QString, noticeTitle);
        QFETCH(QString, noticeBody);
        StandIn standIn;
        standIn.logonMessage = logonMessage;
        standIn.logonOutcome = static_cast<quorvane::Outcome>(logonOutcome);
        standIn.mountedAfterLogon.clear();
        standIn.notMountedAfterLogon = {{"Admin", "The share is unknown or not allowed."}};
        standIn.gate = std::make_shared<QSemaphore>();
        auto delegate = launch(standIn);
        TrayController* tray = delegate->trayController();
        QSignalSpy notices(tray, &TrayController::noticeShown);
        QCOMPARE(tray->status().state, TrayState::loggedOff);
        const qint64 loggedOffIcon = delegate->statusItem()->icon().cacheKey();

        quorvane::testing::typeAndLogOn(delegate->contentView());
        QCOMPARE(tray->status().state, TrayState::busy);
        QCOMPARE(delegate->statusItem()->toolTip(), QStringLiteral("Logon Client: logging on…"));
        QVERIFY(delegate->statusItem()->icon().cacheKey() != loggedOffIcon);
        standIn.gate->release();
        QTRY_VERIFY(!delegate->contentView()->isLoading());

        QCOMPARE(int(tray->status().state), stateAfterLogon);
        QCOMPARE(delegate->statusItem()->toolTip(), trayToolTip(tray->status()));
        QCOMPARE(notices.size(), 1);
        const auto notice = notices.first().first().value<Notice>();
        QCOMPARE(notice.title, noticeTitle);
        QCOMPARE(notice.body, noticeBody);
    }

    void failedLogoutIsToldAndStaysLoggedOn() {
        StandIn standIn;
        standIn.logoutMessage = QStringLiteral("Error while disconnecting: Permission denied");
        standIn.logoutOutcome = quorvane::Outcome::Failed;
        auto delegate = launch(standIn);
        TrayController* tray = delegate->trayController();
        quorvane::testing::typeAndLogOn(delegate->contentView());
        QTRY_COMPARE(tray->status().state, TrayState::loggedOn);
        QSignalSpy notices(tray, &TrayController::noticeShown);
        delegate->contentView()->startLogout();
        QTRY_COMPARE(notices.size(), 1);
        QCOMPARE(notices.first().first().value<Notice>().title, QStringLiteral("Logout failed"));
        QCOMPARE(tray->status().state, TrayState::loggedOn);
    }

    // A complete logout from the menu ends logged off without a notice.
    void menuOffersWhatTheStateAllows() {
        StandIn standIn;
        standIn.gate = std::make_shared<QSemaphore>();
        auto delegate = launch(standIn);
        TrayController* tray = delegate->trayController();
        QCOMPARE(delegate->statusItem()->contextMenu(), tray->menu());
        tray->refreshMenu();
        QCOMPARE(actionNames(tray->menu()),
                 QStringList({"No shares mounted (disabled)", "Logon…", "Logout (disabled)",
                              "Start at login", "Quit"}));

        quorvane::testing::typeAndLogOn(delegate->contentView());
        tray->refreshMenu();
        QCOMPARE(actionNames(tray->menu()),
                 QStringList({"No shares mounted (disabled)", "Logon… (disabled)",
                              "Logout (disabled)", "Start at login", "Quit"}));
        standIn.gate->release();
        QTRY_VERIFY(delegate->contentView()->isLoggedIn());
        tray->refreshMenu();
        QCOMPARE(actionNames(tray->menu()),
                 QStringList({"No shares mounted (disabled)", "Logon… (disabled)", "Logout",
                              "Start at login", "Quit"}));
        QSignalSpy notices(tray, &TrayController::noticeShown);
        tray->menu()->findChild<QAction*>("logoutAction")->trigger();
        QCOMPARE(tray->status().state, TrayState::busy);
        QVERIFY(tray->status().loggingOut);
        standIn.gate->release();
        QTRY_COMPARE(tray->status().state, TrayState::loggedOff);
        QVERIFY(!delegate->contentView()->isLoggedIn());
        QCOMPARE(notices.size(), 0);
    }

    void logonItemOpensThePanel() {
        auto delegate = launch({});
        QVERIFY(!delegate->popover()->isVisible());
        delegate->trayController()->menu()->findChild<QAction*>("logonAction")->trigger();
        QTRY_VERIFY(delegate->popover()->isVisible());
    }
};

QTEST_MAIN(TrayShellTest)
#include "TrayShellTest.moc"
