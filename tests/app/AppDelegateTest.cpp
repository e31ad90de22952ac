#include <QAccessible>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "AppDelegate.h"
#include "ContentView.h"
#include "PanelTestSupport.h"
#include "Popover.h"

using quorvane::AppDelegate;
using quorvane::Popover;
using quorvane::testing::StandIn;

namespace {

std::unique_ptr<AppDelegate> launch(const StandIn& standIn = {},
                                    AppDelegate::TrayMode mode = AppDelegate::TrayMode::tray) {
    auto delegate = std::make_unique<AppDelegate>(standIn.workflows(), mode);
    delegate->applicationDidFinishLaunching();
    return delegate;
}

}  // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

private:
    quorvane::testing::TemporarySettings settings_;

    // Returns once a precise timer, started now and a little longer than `ms`, has fired: every
    // timer of `ms` started before it has fired by then (a coarse one may be 5% late).
    static void passTimersOf(int ms) {
        QTimer marker;
        marker.setSingleShot(true);
        marker.setTimerType(Qt::PreciseTimer);
        QSignalSpy fired(&marker, &QTimer::timeout);
        marker.start(ms + ms / 10 + 20);
        QVERIFY(fired.wait(ms + 10000));
    }

private slots:
    void init() { quorvane::testing::TemporarySettings::clear(); }
    void cleanup() { quorvane::testing::drainWorkers(); }

    // The tray icon's window on a tray that embeds icons has a name for a screen reader, and its
    // tool tip, the state, as description.
    void trayIconWindowIsNamed() {
        auto delegate = launch();
        QWidget trayWindow;
        trayWindow.setObjectName(QStringLiteral("QSystemTrayIconSys"));
        trayWindow.setToolTip(QStringLiteral("Logon Client: logged off"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&trayWindow);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Logon Client"));
        QCOMPARE(accessible->text(QAccessible::Description),
                 QStringLiteral("Logon Client: logged off"));
        QCOMPARE(accessible->role(), QAccessible::Button);
    }

    void firstLaunchOpensThePopoverOnce_data() {
        QTest::addColumn<QVariant>("flag");
        QTest::addColumn<bool>("opens");
        QTest::newRow("flag absent") << QVariant() << true;
        QTest::newRow("flag false") << QVariant(false) << true;
        QTest::newRow("flag true") << QVariant(true) << false;
    }
    void firstLaunchOpensThePopoverOnce() {
        QFETCH(QVariant, flag);
        QFETCH(bool, opens);
        if (flag.isValid()) {
            QSettings().setValue("hasLaunchedBefore", flag);
        }
        auto delegate = launch();
        // Written at once, before the pop-up opens: a quit within the first half second
        // still counts as the first launch.
        QCOMPARE(QSettings().value("hasLaunchedBefore").toBool(), true);
        QVERIFY(!delegate->popover()->isVisible());
        passTimersOf(AppDelegate::kFirstLaunchDelayMs);
        QCOMPARE(delegate->popover()->isVisible(), opens);
        if (opens) {
            QCOMPARE(
                delegate->contentView()->focusedField(),
                std::optional<quorvane::ContentView::Field>(quorvane::ContentView::Field::server));
        }
    }

    void firstLaunchTimerOutlivedByNoDelegate() {
        auto delegate = launch();
        delegate.reset();
        passTimersOf(AppDelegate::kFirstLaunchDelayMs);
        QCOMPARE(QSettings().value("hasLaunchedBefore").toBool(), true);
    }

    void trayIconTogglesThePopoverAndThePanelKeepsItsState() {
        QSettings().setValue("hasLaunchedBefore", true);
        auto delegate = launch();
        QCOMPARE(delegate->statusItem()->toolTip(), QStringLiteral("Logon Client: logged off"));
        QVERIFY(!delegate->statusItem()->icon().isNull());
        QVERIFY(!delegate->panelWindow());
        quorvane::ContentView* view = delegate->contentView();
        QCOMPARE(view->window(), delegate->popover());
        // Launching opens no window: the tray icon is the only way in.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(!widget->isVisible());
        }

        delegate->togglePopover();
        QVERIFY(delegate->popover()->isVisible());
        QCOMPARE(delegate->popover()->size(),
                 QSize(quorvane::ContentView::kWidth, quorvane::ContentView::kHeight));
        view->findChild<QLineEdit*>("usernameField")->setText("alice");
        delegate->togglePopover();
        QVERIFY(!delegate->popover()->isVisible());
        delegate->togglePopover();
        QVERIFY(delegate->popover()->isVisible());
        QCOMPARE(delegate->contentView(), view);
        QCOMPARE(view->username(), QStringLiteral("alice"));
    }

    void clickOutsideClosesAndTheSameClickDoesNotReopen() {
        QSettings().setValue("hasLaunchedBefore", true);
        auto delegate = launch();
        delegate->togglePopover();
        QVERIFY(QTest::qWaitForWindowExposed(delegate->popover()));
        QTest::mouseClick(delegate->popover(), Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(!delegate->popover()->isVisible());
        // The click may have been on the tray icon, which then reports a toggle.
        delegate->togglePopover();
        QVERIFY(!delegate->popover()->isVisible());
        QTRY_VERIFY(!delegate->popover()->justClosedByOutsideClick());
        delegate->togglePopover();
        QVERIFY(delegate->popover()->isVisible());
    }

    void withoutTrayThePanelIsAWindowThatStaysOpen() {
        auto delegate = launch({}, AppDelegate::TrayMode::window);
        QVERIFY(!delegate->statusItem());
        QVERIFY(!delegate->popover());
        QVERIFY(delegate->panelWindow()->isVisible());
        QCOMPARE(delegate->panelWindow()->windowType(), Qt::Window);
        quorvane::testing::typeAndLogOn(delegate->contentView());
        QTRY_VERIFY(delegate->contentView()->isLoggedIn());
        passTimersOf(quorvane::ContentView::kPopoverCloseDelayMs);
        QVERIFY(delegate->panelWindow()->isVisible());
    }

    void startedAtLoginWaitsForTheTrayBeforeTheWindow() {
        QSettings().setValue("hasLaunchedBefore", true);
        AppDelegate delegate(StandIn{}.workflows(), AppDelegate::TrayMode::detect);
        delegate.setTrayWait(800);
        delegate.applicationDidFinishLaunching();
        // Offscreen has no tray: after the wait the panel comes up as a window.
        QVERIFY(!delegate.panelWindow());
        QTRY_VERIFY_WITH_TIMEOUT(delegate.panelWindow() && delegate.panelWindow()->isVisible(),
                                 3000);
        QVERIFY(!delegate.statusItem());
    }

    void popoverPlacement_data() {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("expected");
        const int gap = Popover::kGap;
        QTest::newRow("under a top tray icon")
            << QRect(600, 0, 24, 24) << QRect(611 - 200, 24 + gap, 400, 280);
        QTest::newRow("kept on screen at the right edge")
            << QRect(1000, 0, 24, 24) << QRect(624, 24 + gap, 400, 280);
        QTest::newRow("kept on screen at the left edge")
            << QRect(0, 0, 24, 24) << QRect(0, 24 + gap, 400, 280);
        QTest::newRow("above a bottom tray icon")
            << QRect(600, 744, 24, 24) << QRect(611 - 200, 744 - gap - 280, 400, 280);
        QTest::newRow("no icon place: top-right corner")
            << QRect() << QRect(1024 - 400 - gap, gap, 400, 280);
    }
    void popoverPlacement() {
        QFETCH(QRect, anchor);
        QFETCH(QRect, expected);
        QCOMPARE(Popover::placement(anchor, QSize(400, 280), QRect(0, 0, 1024, 768)), expected);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
