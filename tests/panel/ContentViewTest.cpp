#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "BusyIndicator.h"
#include "ContentView.h"
#include "PanelTestSupport.h"
#include "StatusLine.h"

using quorvane::ContentView;
using quorvane::test::StandIn;
using Field = quorvane::ContentView::Field;

Q_DECLARE_METATYPE(std::optional<quorvane::ContentView::Field>)

namespace {

const QString kLogonDone =
    QStringLiteral("Logon workflow finished. Shares mapped under ~/smbmounts/");

enum class PanelState { loggedOff, loggingOn, loggedOn, loggingOff };

struct Panel {
    StandIn standIn;
    std::unique_ptr<ContentView> view;

    explicit Panel(StandIn s = {}) : standIn(std::move(s)) {
        view = std::make_unique<ContentView>(standIn.workflows());
        view->show();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
    }

    template <typename T>
    T* child(const char* name) const {
        return view->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* server() const { return child<QLineEdit>("serverField"); }
    QLineEdit* user() const { return child<QLineEdit>("usernameField"); }
    QLineEdit* password() const { return child<QLineEdit>("passwordField"); }
    QPushButton* logon() const { return child<QPushButton>("logonButton"); }
    QPushButton* logout() const { return child<QPushButton>("logoutButton"); }

    void fill(const QString& s, const QString& u, const QString& p) {
        server()->setText(s);
        user()->setText(u);
        password()->setText(p);
    }
};

// Drives the panel through its real actions into `state`. The stand-in's gate holds a
// running workflow so that the busy states can be looked at.
void driveTo(Panel& panel, PanelState state) {
    panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("secret"));
    if (state == PanelState::loggedOff) {
        return;
    }
    QTest::mouseClick(panel.logon(), Qt::LeftButton);
    if (state == PanelState::loggingOn) {
        return;
    }
    panel.standIn.gate->release();
    QTRY_VERIFY(panel.view->isLoggedIn() && !panel.view->isLoading());
    if (state == PanelState::loggingOff) {
        QTest::mouseClick(panel.logout(), Qt::LeftButton);
    }
}

StandIn gated(
    const QString& logonMessage = kLogonDone,
    const QString& logoutMessage = QStringLiteral("Successfully disconnected 1 drive(s).")) {
    StandIn standIn;
    standIn.logonMessage = logonMessage;
    standIn.logoutMessage = logoutMessage;
    standIn.gate = std::make_shared<QSemaphore>();
    return standIn;
}

}  // namespace

class ContentViewTest : public QObject {
    Q_OBJECT

private:
    quorvane::test::TemporarySettings settings_;

private slots:
    void init() { quorvane::test::TemporarySettings::clear(); }
    void cleanup() { quorvane::test::drainWorkers(); }

    void controlsFollowTheState_data() {
        QTest::addColumn<PanelState>("state");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<bool>("fieldsEnabled");
        QTest::addColumn<bool>("logoutEnabled");
        QTest::addColumn<bool>("logonEnabled");
        QTest::addColumn<QString>("status");
        QTest::newRow("logged off") << PanelState::loggedOff << false << false << true << false
                                    << true << QStringLiteral("Ready");
        QTest::newRow("logging on") << PanelState::loggingOn << true << false << true << false
                                    << false << ContentView::kLogonRunning;
        QTest::newRow("logged on")
            << PanelState::loggedOn << false << true << false << true << false << kLogonDone;
        QTest::newRow("logging off") << PanelState::loggingOff << true << true << false << false
                                     << false << ContentView::kLogoutRunning;
    }
    void controlsFollowTheState() {
        QFETCH(PanelState, state);
        QFETCH(bool, loading);
        QFETCH(bool, loggedIn);
        QFETCH(bool, fieldsEnabled);
        QFETCH(bool, logoutEnabled);
        QFETCH(bool, logonEnabled);
        QFETCH(QString, status);

        Panel panel(gated());
        driveTo(panel, state);
        QCOMPARE(panel.view->isLoading(), loading);
        QCOMPARE(panel.view->isLoggedIn(), loggedIn);
        for (QLineEdit* field : {panel.server(), panel.user(), panel.password()}) {
            QCOMPARE(field->isEnabled(), fieldsEnabled);
        }
        QCOMPARE(panel.logout()->isEnabled(), logoutEnabled);
        QCOMPARE(panel.logon()->isEnabled(), logonEnabled);
        // The Logon label follows isLoading alone, in both busy states.
        QCOMPARE(panel.logon()->text(), loading ? QString() : QStringLiteral("Logon"));
        QCOMPARE(panel.child<quorvane::BusyIndicator>("busyIndicator")->isVisible(), loading);
        QCOMPARE(panel.view->statusMessage(), status);
        QCOMPARE(panel.child<QLabel>("statusLine")->text(), status);
        panel.standIn.gate->release(2);
    }

    void workflowMessagesDecideTheOutcome_data() {
        QTest::addColumn<bool>("logout");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("password");
        QTest::addColumn<std::optional<Field>>("focus");
        const QString typed = QStringLiteral("secret");
        const std::optional<Field> none;
        const QString groupsFailed =
            QStringLiteral("Home mounted, but failed to read or find groups in mac.bat");
        QTest::newRow("logon finished")
            << false << kLogonDone << true << kLogonDone << QString() << none;
        QTest::newRow("logon failure keeps the password")
            << false << groupsFailed << false << groupsFailed << typed << none;
        QTest::newRow("logon marker is case-sensitive")
            << false << QStringLiteral("Logon workflow Finished.") << false
            << QStringLiteral("Logon workflow Finished.") << typed << none;
        QTest::newRow("logout successfully")
            << true << QStringLiteral("Successfully disconnected 3 drive(s).") << false
            << QStringLiteral("Ready") << QString() << std::optional<Field>(Field::server);
        QTest::newRow("logout already disconnected")
            << true << QStringLiteral("All shares are already disconnected.") << false
            << QStringLiteral("Ready") << QString() << std::optional<Field>(Field::server);
        QTest::newRow("logout without mount root")
            << true << QStringLiteral("No shares mapped (smbmounts folder not found).") << true
            << QStringLiteral("No shares mapped (smbmounts folder not found).") << QString()
            << none;
        QTest::newRow("logout marker is case-sensitive")
            << true << QStringLiteral("successfully disconnected 1 drive(s).") << true
            << QStringLiteral("successfully disconnected 1 drive(s).") << QString() << none;
        QTest::newRow("logout error")
            << true << QStringLiteral("Error while disconnecting: permission denied") << true
            << QStringLiteral("Error while disconnecting: permission denied") << QString() << none;
    }
    void workflowMessagesDecideTheOutcome() {
        QFETCH(bool, logout);
        QFETCH(QString, message);
        QFETCH(bool, loggedIn);
        QFETCH(QString, status);
        QFETCH(QString, password);
        QFETCH(std::optional<Field>, focus);

        Panel panel(logout ? gated(kLogonDone, message) : gated(message));
        driveTo(panel, logout ? PanelState::loggingOff : PanelState::loggingOn);
        panel.standIn.gate->release();
        QTRY_VERIFY(!panel.view->isLoading());
        QCOMPARE(panel.view->isLoggedIn(), loggedIn);
        QCOMPARE(panel.view->statusMessage(), status);
        QCOMPARE(panel.view->password(), password);
        QCOMPARE(panel.view->focusedField(), focus);
        // Server and user name survive every outcome; Logon waits for a new password.
        QCOMPARE(panel.view->serverInput(), QStringLiteral("FS1"));
        QCOMPARE(panel.view->username(), QStringLiteral("alice"));
        QCOMPARE(panel.logon()->isEnabled(), !loggedIn && !password.isEmpty());
    }

    void canStartLogonCountsEveryCharacter_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("expected");
        QTest::newRow("single spaces") << " "
                                       << " "
                                       << " " << true;
        QTest::newRow("no server") << ""
                                   << "alice"
                                   << "pw" << false;
        QTest::newRow("no user") << "FS1"
                                 << ""
                                 << "pw" << false;
        QTest::newRow("no password") << "FS1"
                                     << "alice"
                                     << "" << false;
    }
    void canStartLogonCountsEveryCharacter() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, expected);

        Panel panel;
        panel.fill(server, user, password);
        QCOMPARE(panel.logon()->isEnabled(), expected);
        QTest::keyClick(panel.password(), Qt::Key_Return);
        QCOMPARE(panel.view->isLoading(), expected);
        if (expected) {
            QTRY_VERIFY(!panel.view->isLoading());
            // Handed to the workflow exactly as typed, neither trimmed nor changed.
            QCOMPARE(panel.standIn.lastLogonArguments(), (QStringList{server, user, password}));
        } else {
            QCOMPARE(panel.view->statusMessage(), QStringLiteral("Ready"));
        }
    }

    void returnMovesTheFocusAlong_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<std::optional<Field>>("focus");
        QTest::addColumn<bool>("startsLogon");
        QTest::newRow("server") << "serverField" << std::optional<Field>(Field::username) << false;
        QTest::newRow("user name")
            << "usernameField" << std::optional<Field>(Field::password) << false;
        QTest::newRow("password") << "passwordField" << std::optional<Field>() << true;
    }
    void returnMovesTheFocusAlong() {
        QFETCH(QString, field);
        QFETCH(std::optional<Field>, focus);
        QFETCH(bool, startsLogon);

        Panel panel;
        panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
        auto* edit = panel.view->findChild<QLineEdit*>(field);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(panel.view->focusedField(), focus);
        QCOMPARE(panel.view->isLoading(), startsLogon);
        if (focus) {
            QVERIFY(QApplication::focusWidget()->objectName().startsWith(
                QStringList{"server", "username", "password"}[static_cast<int>(*focus)]));
        }
    }

    void serverFieldUpperCasesAndStoresEveryEdit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("host name") << "fs-01.corp"
                                   << "FS-01.CORP";
        QTest::newRow("address") << "10.0.0.5"
                                 << "10.0.0.5";
        QTest::newRow("longer upper case") << "straße"
                                           << "STRASSE";
    }
    void serverFieldUpperCasesAndStoresEveryEdit() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);

        Panel panel;
        QCOMPARE(panel.view->serverInput(), ContentView::kDefaultServerAddress);
        panel.server()->selectAll();
        QTest::keyClick(panel.server(), Qt::Key_Backspace);
        QTest::keyClick(panel.server(), 'f');
        // Stored at once, with the first key.
        QCOMPARE(QSettings().value("savedServerAddress").toString(), QStringLiteral("F"));
        panel.server()->clear();
        QTest::keyClicks(panel.server(), typed);
        QCOMPARE(panel.view->serverInput(), shown);
        QCOMPARE(panel.view->storedServerAddress(), shown);
        QCOMPARE(QSettings().value("savedServerAddress").toString(), shown);
        QCOMPARE(panel.server()->cursorPosition(), shown.size());

        // The next start shows what was stored.
        panel.view.reset();
        Panel restarted;
        QCOMPARE(restarted.view->serverInput(), shown);
        QCOMPARE(restarted.view->username(), QString());
        QCOMPARE(restarted.view->password(), QString());
        QCOMPARE(restarted.view->statusMessage(), QStringLiteral("Ready"));
    }

    void storedAddressAtStart_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("never stored") << QVariant() << ContentView::kDefaultServerAddress;
        QTest::newRow("cleared by the user") << QVariant(QString()) << QString();
        QTest::newRow("lower case written elsewhere") << QVariant("fs9") << "fs9";
    }
    void storedAddressAtStart() {
        QFETCH(QVariant, stored);
        QFETCH(QString, shown);
        if (stored.isValid()) {
            QSettings().setValue("savedServerAddress", stored);
        }
        Panel panel;
        QCOMPARE(panel.view->serverInput(), shown);
        QCOMPARE(QSettings().contains("savedServerAddress"), stored.isValid());
    }

    void clearingTheServerFieldStoresEmptyText() {
        {
            Panel panel;
            panel.server()->selectAll();
            QTest::keyClick(panel.server(), Qt::Key_Delete);
            QCOMPARE(QSettings().value("savedServerAddress", "absent").toString(), QString());
        }
        Panel restarted;
        QCOMPARE(restarted.view->serverInput(), QString());
    }

    void appearingRefillsTheServerAndFocusesIt() {
        Panel panel;
        QCOMPARE(panel.view->focusedField(), std::optional<Field>(Field::server));
        panel.server()->setText(QStringLiteral("NOT STORED"));
        panel.user()->setText(QStringLiteral("alice"));
        panel.password()->setText(QStringLiteral("pw"));
        panel.user()->setFocus();
        panel.view->hide();
        panel.view->show();
        QCOMPARE(panel.view->serverInput(), ContentView::kDefaultServerAddress);
        QCOMPARE(panel.view->username(), QStringLiteral("alice"));
        QCOMPARE(panel.view->password(), QStringLiteral("pw"));
        QCOMPARE(panel.view->focusedField(), std::optional<Field>(Field::server));
    }

    void logonTakesTheTextsOfTheMomentItStarts() {
        Panel panel(gated());
        panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
        QTest::mouseClick(panel.logon(), Qt::LeftButton);
        // The fields stay editable while the logon runs; edits reach no running workflow.
        QVERIFY(panel.user()->isEnabled());
        QTest::keyClicks(panel.user(), QStringLiteral("-edited"));
        panel.standIn.gate->release();
        QTRY_VERIFY(!panel.view->isLoading());
        QCOMPARE(panel.standIn.lastLogonArguments(), (QStringList{"FS1", "alice", "pw"}));
        QCOMPARE(panel.view->username(), QStringLiteral("alice-edited"));
    }

    void guiStaysResponsiveWhileAWorkflowRuns() {
        StandIn slow;
        slow.delayMs = 2000;
        Panel panel(slow);
        panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(50);
        QTest::mouseClick(panel.logon(), Qt::LeftButton);
        QVERIFY(panel.view->isLoading());
        QTest::keyClicks(panel.user(), QStringLiteral("x"));
        QCOMPARE(panel.view->username(), QStringLiteral("alicex"));
        QTRY_VERIFY_WITH_TIMEOUT(!panel.view->isLoading(), 10000);
        // A blocked GUI thread would have ticked only once or twice in those 2 s.
        QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
    }

    void panelGoesAwayWhileAWorkflowRuns() {
        StandIn slow;
        slow.delayMs = 300;
        {
            Panel panel(slow);
            panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
            QTest::mouseClick(panel.logon(), Qt::LeftButton);
            QTest::qWait(50);
        }
        quorvane::test::drainWorkers();
        QCoreApplication::processEvents();
        QCOMPARE(slow.calls->finished.load(), 1);
    }

    void aThrowingWorkflowStillEndsTheBusyState() {
        quorvane::Workflows throwing;
        throwing.logon = [](const QString&, const QString&, const QString&) -> QString {
            throw std::runtime_error("boom");
        };
        ContentView view(throwing);
        view.show();
        view.findChild<QLineEdit*>("usernameField")->setText("alice");
        view.findChild<QLineEdit*>("passwordField")->setText("pw");
        view.startLogon();
        QTRY_VERIFY(!view.isLoading());
        QVERIFY(view.statusMessage().contains("boom"));
        QVERIFY(!view.isLoggedIn());
    }

    void popoverClosesAfterALogonOnlyWhenShown_data() {
        QTest::addColumn<bool>("closeEarly");
        QTest::addColumn<bool>("reopen");
        QTest::newRow("still shown") << false << false;
        QTest::newRow("closed meanwhile") << true << false;
        QTest::newRow("closed and shown again") << true << true;
    }
    void popoverClosesAfterALogonOnlyWhenShown() {
        QFETCH(bool, closeEarly);
        QFETCH(bool, reopen);

        QWidget popover;
        auto* view = new ContentView(StandIn().workflows(), &popover);
        view->setPopover(&popover);
        popover.show();
        view->findChild<QLineEdit*>("usernameField")->setText("alice");
        view->findChild<QLineEdit*>("passwordField")->setText("pw");
        view->startLogon();
        QTRY_VERIFY(view->isLoggedIn());
        if (closeEarly) {
            popover.hide();
        }
        if (reopen) {
            QTest::qWait(200);
            popover.show();
        }
        QTest::qWait(900);
        QCOMPARE(popover.isVisible(), !closeEarly || reopen);
        QTRY_VERIFY_WITH_TIMEOUT(!popover.isVisible(), 3000);
        QTest::qWait(300);
        QVERIFY(!popover.isVisible());
    }

    void longStatusMessagesAreCutToTwoLines() {
        const QString longMessage =
            QStringLiteral("Error while disconnecting: ") + QString(60, QLatin1Char('x')) +
            QStringLiteral(" the mount point could not be released because ") +
            QString(120, QLatin1Char('y'));
        Panel panel(gated(longMessage));
        driveTo(panel, PanelState::loggingOn);
        panel.standIn.gate->release();
        QTRY_VERIFY(!panel.view->isLoading());
        auto* line = panel.child<QLabel>("statusLine");
        QCOMPARE(panel.view->statusMessage(), longMessage);
        QCOMPARE(line->text().count(QLatin1Char('\n')), 1);
        QVERIFY(line->text().endsWith(QChar(0x2026)));
        QCOMPARE(line->toolTip(), longMessage);
        // Even with two lines every control keeps its place inside the fixed frame.
        QApplication::processEvents();
        const QRect frame = panel.view->rect();
        QList<QWidget*> controls{panel.server(), panel.user(),  panel.password(),
                                 line,           panel.logon(), panel.logout()};
        for (int i = 0; i < controls.size(); ++i) {
            const QRect box(controls[i]->mapTo(panel.view.get(), QPoint()), controls[i]->size());
            QVERIFY2(frame.contains(box), qPrintable(controls[i]->objectName()));
            for (int j = i + 1; j < controls.size(); ++j) {
                const QRect other(controls[j]->mapTo(panel.view.get(), QPoint()),
                                  controls[j]->size());
                QVERIFY2(!box.intersects(other),
                         qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
            }
        }
    }

    void statusLineLayout_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cut");
        QTest::newRow("empty") << QString() << 0 << false;
        QTest::newRow("short") << QStringLiteral("Ready") << 1 << false;
        QTest::newRow("two lines")
            << QString(50, QLatin1Char('a')) + " " + QString(50, 'b') << 2 << false;
        QTest::newRow("more") << QString(300, QLatin1Char('c')) << 2 << true;
    }
    void statusLineLayout() {
        QFETCH(QString, message);
        QFETCH(int, lines);
        QFETCH(bool, cut);
        QFont font;
        font.setPixelSize(10);
        const int width = QFontMetrics(font).horizontalAdvance(QString(70, QLatin1Char('a')));
        const QStringList shown = quorvane::StatusLine::layoutLines(message, font, width, 2);
        QCOMPARE(shown.size(), lines);
        QCOMPARE(!shown.isEmpty() && shown.last().endsWith(QChar(0x2026)), cut);
        if (!cut) {
            QCOMPARE(shown.join(QString()).remove(' '), QString(message).remove(' '));
        }
    }
};

QTEST_MAIN(ContentViewTest)
#include "ContentViewTest.moc"
