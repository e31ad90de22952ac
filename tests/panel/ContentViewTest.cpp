#include <QAccessible>
#include <QCheckBox>
#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>
#include <tuple>

#include "BusyIndicator.h"
#include "ContentView.h"
#include "PanelTestSupport.h"
#include "StatusLine.h"
#include "StatusWords.h"

using quorvane::ContentView;
using quorvane::testing::StandIn;
using Field = quorvane::ContentView::Field;

Q_DECLARE_METATYPE(std::optional<quorvane::ContentView::Field>)
Q_DECLARE_METATYPE(quorvane::Outcome)

namespace {

const QString kLogonDone =
    QStringLiteral("Logon workflow finished. Shares mapped under ~/smbmounts/");

enum class PanelState { loggedOff, loggingOn, loggedOn, loggingOff, logonEnded };

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
// running workflow so that the busy states can be looked at; `logonEnded` is wherever the
// stand-in's logon leaves the panel.
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
    QTRY_VERIFY(!panel.view->isLoading());
    if (state == PanelState::logonEnded) {
        return;
    }
    QVERIFY(panel.view->isLoggedIn());
    if (state == PanelState::loggingOff) {
        QTest::mouseClick(panel.logout(), Qt::LeftButton);
    }
}

// What kinit leaves behind, without a KDC: a ticket cache in the file format of MIT Kerberos
// (version 4, big-endian) holding a ticket-granting ticket of NAME@REALM that ends
// `lifetime` seconds from now. The system's klist reads it like any other.
bool writeTicketCache(const QString& path, const QByteArray& name, const QByteArray& realm,
                      qint64 lifetime) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const auto data = [&out](const QByteArray& text) {
        out << quint32(text.size());
        out.writeRawData(text.constData(), static_cast<int>(text.size()));
    };
    const auto principal = [&](const QList<QByteArray>& components) {
        out << quint32(1) << quint32(components.size());  // KRB5_NT_PRINCIPAL
        data(realm);
        for (const QByteArray& component : components) {
            data(component);
        }
    };
    const auto now = quint32(QDateTime::currentSecsSinceEpoch());
    out << quint16(0x0504) << quint16(0);  // version, no header fields
    principal({name});                     // the cache's default principal
    principal({name});                     // the ticket: client,
    principal({"krbtgt", realm});          // server,
    out << quint16(18);                    // session key (aes256-cts)
    data(QByteArray(32, 'k'));
    out << now << now << quint32(now + lifetime) << quint32(now + lifetime);
    out << quint8(0) << quint32(0x40e10000) << quint32(0) << quint32(0);
    data("ticket");
    data({});
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A panel shown while the user holds a ticket of NAME@REALM that ends `lifetime` seconds from
// now, with `server` and `user` typed and the ticket lister's answer in.
std::unique_ptr<Panel> panelWithTicket(const QByteArray& name, const QByteArray& realm,
                                       qint64 lifetime, const QString& server,
                                       const QString& user) {
    QTemporaryDir folder;
    const QString cache = folder.filePath(QStringLiteral("ccache"));
    if (!writeTicketCache(cache, name, realm, lifetime)) {
        return nullptr;
    }
    qputenv("KRB5CCNAME", "FILE:" + cache.toUtf8());
    StandIn standIn;
    standIn.findTicket = [] { return quorvane::findKerberosTicket("/usr/bin/klist"); };
    auto panel = std::make_unique<Panel>(standIn);
    panel->fill(server, user, QString());
    // The lister ran on a worker when the panel appeared; its answer is queued.
    quorvane::testing::drainWorkers();
    QCoreApplication::processEvents();
    qunsetenv("KRB5CCNAME");
    return panel;
}

// The application's font at `points` (0: the default) while it lives.
struct AppFont {
    const QFont saved = QApplication::font();
    explicit AppFont(qreal points) {
        QFont font = saved;
        if (points > 0) {
            font.setPointSizeF(points);
            QApplication::setFont(font);
        }
    }
    ~AppFont() { QApplication::setFont(saved); }
};

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
    quorvane::testing::TemporarySettings settings_;

private slots:
    void textAndIndicatorStandOut_data() {
        QTest::addColumn<QPalette>("colours");
        QTest::newRow("light") << QPalette(Qt::white);
        QTest::newRow("dark") << QPalette(QColor(40, 40, 40));
        // A theme whose text colours all sit close to the button fill.
        QPalette washedOut(QColor(200, 200, 200));
        for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Highlight,
                          QPalette::Midlight}) {
            washedOut.setColor(role, QColor(190, 190, 190));
        }
        QTest::newRow("washed out") << washedOut;
    }
    void textAndIndicatorStandOut() {
        QFETCH(QPalette, colours);
        Panel panel(gated());
        panel.view->setPalette(colours);
        driveTo(panel, PanelState::loggingOn);
        auto* indicator = panel.child<quorvane::BusyIndicator>("busyIndicator");
        QVERIFY(indicator->isVisible());
        indicator->setBackdrop(colours.color(QPalette::Active, QPalette::Midlight));
        // Every pixel the indicator paints that differs from the fill must be the arc colour,
        // and the arc colour must reach 3:1 against the fill.
        const QImage picture = indicator->grab().toImage();
        const QColor arc = indicator->arcColour();
        const QColor fill = colours.color(QPalette::Active, QPalette::Midlight);
        const double ratio = quorvane::contrast(arc, fill);
        QVERIFY2(ratio >= 3.0, qPrintable(QString::number(ratio)));
        bool arcPainted = false;
        for (int y = 0; y < picture.height() && !arcPainted; ++y) {
            for (int x = 0; x < picture.width() && !arcPainted; ++x) {
                arcPainted = picture.pixelColor(x, y).rgb() == arc.rgb();
            }
        }
        QVERIFY(arcPainted);
        // The dimmed status line still reads at 4.5:1.
        const QColor status =
            panel.child<QLabel>("statusLine")->palette().color(QPalette::WindowText);
        QVERIFY(quorvane::contrast(status, colours.color(QPalette::Window)) >= 4.5);
        panel.standIn.gate->release();
    }

    // Logged on with some shares broken, Logon is the repair: it reconnects with whatever the
    // password field holds (empty: the Kerberos ticket) and the panel stays logged on. Without a
    // password the server takes, nothing is released and the panel asks for one: the password
    // field opens (and has the focus), Logon waits for a password and then reconnects with it;
    // once that works the field closes and empties again.
    void logonReconnectsWhileLoggedOnWithBrokenShares() {
        using P = quorvane::WorkflowResult::Password;
        StandIn standIn = gated();
        standIn.reconnectVerdicts = {P::NotAsked, P::Refused, P::Taken};
        Panel panel(standIn);
        driveTo(panel, PanelState::loggedOn);
        QVERIFY(!panel.logon()->isEnabled());
        panel.view->setHasBrokenShares(true);
        QVERIFY(panel.logon()->isEnabled());
        QTest::mouseClick(panel.logon(), Qt::LeftButton);
        QTRY_VERIFY(panel.view->needsPassword());
        QCOMPARE(panel.view->statusMessage(),
                 QStringLiteral("Your password is needed to reconnect. Nothing was released. "
                                "Type it and press Logon."));
        QVERIFY(panel.view->isLoggedIn());
        QVERIFY(panel.password()->isEnabled());
        QVERIFY(!panel.server()->isEnabled());
        QCOMPARE(panel.view->focusedField(), std::optional(ContentView::Field::password));
        QVERIFY(!panel.logon()->isEnabled());

        for (const char* typed : {"typo", "new pass"}) {
            panel.password()->setText(QString::fromUtf8(typed));
            QVERIFY(panel.logon()->isEnabled());
            QTest::keyClick(panel.password(), Qt::Key_Return);
            QTRY_COMPARE(panel.standIn.reconnectPasswords().size(),
                         std::string(typed) == "typo" ? 2 : 3);
            QTRY_VERIFY(!panel.view->isLoading());
        }
        QCOMPARE(panel.standIn.reconnectPasswords(),
                 (QStringList{QString(), QStringLiteral("typo"), QStringLiteral("new pass")}));
        QVERIFY(!panel.view->needsPassword());
        QVERIFY(!panel.password()->isEnabled());
        QVERIFY(panel.password()->text().isEmpty());
        QCOMPARE(panel.view->statusMessage(), QStringLiteral("Reconnected 1 share(s)."));
        QVERIFY(panel.view->isLoggedIn());
        QCOMPARE(panel.standIn.calls->logons.load(), 1);
        panel.view->setHasBrokenShares(false);
        QVERIFY(!panel.logon()->isEnabled());
    }

    // Where the panel leaves the focus, the first Tab goes on to a control that helps, never to
    // Quit, which Shift+Tab from the server field reaches. Return presses a focused button.
    void keyboardFromWhereTheFocusRests_data() {
        QTest::addColumn<PanelState>("state");
        QTest::addColumn<quorvane::Outcome>("logonOutcome");
        QTest::addColumn<QString>("rests");
        QTest::addColumn<QString>("firstTab");
        QTest::addColumn<int>("logonsAfterReturn");
        using quorvane::Outcome;
        QTest::newRow("shown") << PanelState::loggedOff << Outcome::Succeeded << "serverField"
                               << "usernameField" << 0;
        QTest::newRow("after a failed logon")
            << PanelState::logonEnded << Outcome::Failed << "logonButton"
            << "serverField" << 2;
        QTest::newRow("logged on") << PanelState::loggedOn << Outcome::Succeeded << "contentView"
                                   << "logoutButton" << 1;
        QTest::newRow("logging off, only Quit enabled")
            << PanelState::loggingOff << Outcome::Succeeded << "contentView"
            << "contentView" << 1;
    }
    void keyboardFromWhereTheFocusRests() {
        QFETCH(PanelState, state);
        QFETCH(quorvane::Outcome, logonOutcome);
        QFETCH(QString, rests);
        QFETCH(QString, firstTab);
        QFETCH(int, logonsAfterReturn);
        StandIn standIn = gated();
        standIn.logonOutcome = logonOutcome;
        Panel panel(std::move(standIn));
        driveTo(panel, state);
        QWidget* focused = panel.view->focusWidget() ? panel.view->focusWidget() : panel.view.get();
        QCOMPARE(focused->objectName(), rests);
        QTest::keyClick(focused, Qt::Key_Return);
        if (logonsAfterReturn > 1) {
            panel.standIn.gate->release();
        }
        QTRY_COMPARE(panel.standIn.calls->logons.load(), logonsAfterReturn);
        QTRY_VERIFY(!panel.view->isLoading() || state == PanelState::loggingOff);
        focused->setFocus();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : focused,
                        Qt::Key_Tab);
        QWidget* tabbed = QApplication::focusWidget() ? QApplication::focusWidget() : focused;
        QCOMPARE(tabbed->objectName(), firstTab);
        panel.standIn.gate->release(2);
    }

    // Return presses a focused Logout, and Quit, which is enabled while the logout runs (Logon and
    // Cancel: keyboardFromWhereTheFocusRests and aRunningLogonStopsOnCancel).
    void returnPressesTheFocusedButton() {
        Panel panel(gated());
        driveTo(panel, PanelState::loggedOn);
        for (const char* button : {"logoutButton", "quitButton"}) {
            auto* pressed = panel.child<QAbstractButton>(button);
            QSignalSpy clicks(pressed, &QAbstractButton::clicked);
            disconnect(pressed, &QAbstractButton::clicked, qApp, nullptr);  // Quit stays a click
            pressed->setFocus();
            QTest::keyClick(pressed, Qt::Key_Return);
            QCOMPARE(clicks.count(), 1);
        }
        QTRY_COMPARE(panel.standIn.calls->logouts.load(), 1);
        panel.standIn.gate->release(2);
    }

    // A mnemonic whose control is disabled does nothing: its letter never reaches the field
    // that has the focus. One whose control is enabled still works.
    void mnemonicsNeverTypeIntoAField_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("Alt+O, Logout disabled") << "serverField" << int(Qt::Key_O) << "secret"
                                                << "serverField";
        QTest::newRow("Alt+L, Logon disabled") << "usernameField" << int(Qt::Key_L) << ""
                                               << "usernameField";
        QTest::newRow("Alt+P, the password's label") << "serverField" << int(Qt::Key_P) << "secret"
                                                     << "passwordField";
    }
    void mnemonicsNeverTypeIntoAField() {
        QFETCH(QString, field);
        QFETCH(int, key);
        QFETCH(QString, password);
        QFETCH(QString, focusAfter);
        Panel panel(gated());
        panel.fill(QStringLiteral("127.0.0.1:46401"), QStringLiteral("alice"), password);
        auto* edit = panel.view->findChild<QLineEdit*>(field);
        edit->setFocus();
        const QString before = edit->text();
        const QString stored = panel.view->storedServerAddress();
        QTest::keyClick(edit, Qt::Key(key), Qt::AltModifier);
        QCOMPARE(edit->text(), before);
        QCOMPARE(panel.view->storedServerAddress(), stored);
        QCOMPARE(QApplication::focusWidget()->objectName(), focusAfter);
        QCOMPARE(panel.standIn.calls->logons.load(), 0);
        QCOMPARE(panel.standIn.calls->logouts.load(), 0);
    }

    void shiftTabFromTheServerFieldReachesQuit() {
        Panel panel;
        QTest::keyClick(panel.server(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("quitButton"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), panel.server());
    }

    // While a logon runs in the pop-up the focus rests on Cancel, which assistive technology
    // names. Escape, Return or Space sent where the keyboard sends them, Escape from a field
    // (they stay editable meanwhile) and a click on Cancel stop the logon: logged off, the
    // password kept, Logon focused for another try, the pop-up still open.
    void aRunningLogonStopsOnCancel_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("from");  // empty: the focus
        QTest::newRow("Escape") << int(Qt::Key_Escape) << "";
        QTest::newRow("Return") << int(Qt::Key_Return) << "";
        QTest::newRow("Space") << int(Qt::Key_Space) << "";
        QTest::newRow("Escape from a field") << int(Qt::Key_Escape) << "usernameField";
        QTest::newRow("Cancel clicked") << 0 << "logonButton";
    }
    void aRunningLogonStopsOnCancel() {
        QFETCH(int, key);
        QFETCH(QString, from);
        StandIn standIn = gated();
        // Lets the held logon end should a check fail first.
        const std::unique_ptr<QSemaphore, void (*)(QSemaphore*)> release(
            standIn.gate.get(), [](QSemaphore* gate) { gate->release(2); });
        QWidget popup(nullptr, Qt::Popup);
        auto* layout = new QVBoxLayout(&popup);
        auto* view = new ContentView(standIn.workflows(), &popup);
        layout->addWidget(view);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        view->findChild<QLineEdit*>(QStringLiteral("usernameField"))
            ->setText(QStringLiteral("bob"));
        auto* password = view->findChild<QLineEdit*>(QStringLiteral("passwordField"));
        password->setText(QStringLiteral("secret"));
        password->setFocus();
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
        QTRY_VERIFY(view->isLoading());
        QWidget* cancel = QApplication::focusWidget();
        QVERIFY(cancel);
        QCOMPARE(cancel->objectName(), QStringLiteral("logonButton"));
        QCOMPARE(cancel->accessibleName(), QStringLiteral("Cancel"));
        if (key == 0) {
            QTest::mouseClick(cancel, Qt::LeftButton);
        } else if (!from.isEmpty()) {
            view->findChild<QWidget*>(from)->setFocus();
            QTest::keyClick(view->findChild<QWidget*>(from), Qt::Key(key));
        } else {
            QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key));
        }
        QTRY_VERIFY(!view->isLoading());
        QCOMPARE(view->statusMessage().toStdString(), quorvane::testing::kLogonInterrupted);
        QVERIFY(!view->isLoggedIn());
        QCOMPARE(view->password(), QStringLiteral("secret"));
        QCOMPARE(view->focusWidget(), cancel);
        QVERIFY(popup.isVisible());
        QCOMPARE(standIn.calls->logons.load(), 1);
    }

    // After a refused password the password field has the focus with the password selected, so
    // that typing replaces it (after other failures Logon has it: keyboardFromWhereTheFocusRests).
    void aRefusedPasswordIsSelectedForRetyping() {
        StandIn standIn = gated(QStringLiteral("Logon failed."));
        standIn.logonOutcome = quorvane::Outcome::Failed;
        standIn.logonPassword = quorvane::WorkflowResult::Password::Refused;
        Panel panel(std::move(standIn));
        driveTo(panel, PanelState::logonEnded);
        QCOMPARE(QApplication::focusWidget(), panel.password());
        QCOMPARE(panel.password()->selectionLength(), panel.password()->text().size());
        QTest::keyClicks(panel.password(), QStringLiteral("n"));
        QCOMPARE(panel.password()->text(), QStringLiteral("n"));
        QCOMPARE(panel.standIn.calls->logons.load(), 1);
    }

    // The engine's messages, sentence by sentence: unchanged on an English desk, in the desk's
    // language elsewhere, the server's and the tool's own words and names kept; a socket
    // error's name said plainly. (That the panel shows these words:
    // workflowOutcomesDecideThePanelState.)
    void engineMessagesInTheDesksLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const QString partial = QStringLiteral(
            "Logon workflow finished. Shares mapped under ~/smbmounts/ Not mounted: Media, Lab.");
        QTest::newRow("English, partial logon") << "en" << partial << partial;
        const QString refused = QStringLiteral(
            "Failed to mount initial user home directory. Wrong user name or password.");
        const QString toolWords = QStringLiteral(
            "User home mapped, but failed to connect to Netlogon share. Quota of \"x\" exceeded.");
        QTest::newRow("English, the tool's words") << "en" << toolWords << toolWords;
        QTest::newRow("English, socket error")
            << "en"
            << "Failed to mount initial user home directory. Network dropped connection on reset."
            << "Failed to mount initial user home directory. The server is not answering.";
        QTest::newRow("German, the tool's plain words for a socket error")
            << "de"
            << "Failed to mount initial user home directory. Cannot reach the server FS1: the "
               "server is not answering."
            << "Das persönliche Verzeichnis konnte nicht eingebunden werden. Der Server antwortet "
               "nicht.";
        QTest::newRow("German, partial logon")
            << "de" << partial
            << "Anmeldung abgeschlossen. Freigaben unter ~/smbmounts/ eingebunden. Nicht "
               "eingebunden: Media, Lab.";
        QTest::newRow("German, refused")
            << "de" << refused
            << "Das persönliche Verzeichnis konnte nicht eingebunden werden. Falscher Benutzername "
               "oder falsches Passwort.";
        QTest::newRow("French, logout left a share")
            << "fr"
            << "Disconnected 5 of 6 shares; still in use: Staff Public."
            << QString::fromUtf8(
                   "5 partages sur 6 déconnectés\u00a0; encore utilisés\u00a0: Staff Public.");
        QTest::newRow("French, interrupted")
            << "fr" << QString::fromStdString(quorvane::testing::kLogonInterrupted)
            << "Connexion arrêtée. Les partages montés auparavant le restent.";
    }
    void engineMessagesInTheDesksLanguage() {
        QFETCH(QString, language);
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QTranslator translator;
        if (language != QLatin1String("en")) {
            QVERIFY(translator.load(QStringLiteral("quorvane_") + language,
                                    QStringLiteral(QUORVANE_TRANSLATIONS)));
            QCoreApplication::installTranslator(&translator);
        }
        QCOMPARE(quorvane::statusWords(message), shown);
        QCoreApplication::removeTranslator(&translator);
    }

    // The tray's words for a share's health: the engine's own on an English desk, every one of
    // them translated on a German one.
    void shareConditionsInTheDesksLanguage() {
        using quorvane::ShareCondition;
        const QList<ShareCondition> all{
            ShareCondition::Answering,        ShareCondition::ServerNotAnswering,
            ShareCondition::PasswordRejected, ShareCondition::TicketExpired,
            ShareCondition::ShareUnavailable, ShareCondition::MountGone,
            ShareCondition::MountStuck,       ShareCondition::NotAMount,
            ShareCondition::Unknown};
        for (ShareCondition condition : all) {
            QCOMPARE(quorvane::conditionWords(condition),
                     QString::fromStdString(quorvane::describe(condition)));
        }
        QTranslator german;
        QVERIFY(german.load(QStringLiteral("quorvane_de"), QStringLiteral(QUORVANE_TRANSLATIONS)));
        QCoreApplication::installTranslator(&german);
        for (ShareCondition condition : all) {
            QVERIFY(quorvane::conditionWords(condition) !=
                    QString::fromStdString(quorvane::describe(condition)));
        }
        QCOMPARE(quorvane::conditionWords(ShareCondition::MountGone), QStringLiteral("getrennt"));
        QCoreApplication::removeTranslator(&german);
    }

    void init() { quorvane::testing::TemporarySettings::clear(); }
    void cleanup() { quorvane::testing::drainWorkers(); }

    // Every control also has a name and a description for assistive technology in every state;
    // the status line is a status bar named by its message.
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
        QTest::newRow("logging on, Logon is its Cancel")
            << PanelState::loggingOn << true << false << true << false << true
            << ContentView::kLogonRunning;
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
        const QStringList labels{"&Logon", "&Cancel", "&Logon", ""};
        QCOMPARE(panel.logon()->text(), labels[static_cast<int>(state)]);
        QCOMPARE(panel.child<quorvane::BusyIndicator>("busyIndicator")->isVisible(), loading);
        QCOMPARE(panel.view->statusMessage(), status);
        QCOMPARE(panel.child<QLabel>("statusLine")->text(), status);
        for (QWidget* control : panel.view->findChildren<QWidget*>()) {
            if (qobject_cast<QLineEdit*>(control) || qobject_cast<QAbstractButton*>(control) ||
                qobject_cast<quorvane::BusyIndicator*>(control) ||
                qobject_cast<quorvane::StatusLine*>(control)) {
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
                QVERIFY2(!face->text(QAccessible::Name).isEmpty(),
                         qPrintable(control->objectName()));
                QVERIFY2(!face->text(QAccessible::Description).isEmpty(),
                         qPrintable(control->objectName()));
            }
        }
        QCOMPARE(
            QAccessible::queryAccessibleInterface(panel.child<QWidget>("busyIndicator"))->role(),
            QAccessible::ProgressBar);
        QAccessibleInterface* statusBar =
            QAccessible::queryAccessibleInterface(panel.child<QWidget>("statusLine"));
        QCOMPARE(statusBar->role(), QAccessible::StatusBar);
        QCOMPARE(statusBar->text(QAccessible::Name), status);
        panel.standIn.gate->release(2);
    }

    void workflowOutcomesDecideThePanelState_data() {
        using quorvane::Outcome;
        QTest::addColumn<bool>("logout");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("sharesLeft");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("loggedIn");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("password");
        QTest::addColumn<std::optional<Field>>("focus");
        const QString typed = QStringLiteral("secret");
        const std::optional<Field> none;
        // A socket error's name is said plainly (engineMessagesInTheDesksLanguage).
        const QString refused =
            QStringLiteral("Failed to mount initial user home directory. Connection refused");
        const QString notAnswering = QStringLiteral(
            "Failed to mount initial user home directory. The server is not answering.");
        QTest::newRow("logon finished") << false << Outcome::Succeeded << true << kLogonDone << true
                                        << kLogonDone << QString() << none;
        const QString partly = kLogonDone + QStringLiteral(" Not mounted: Science.");
        QTest::newRow("logon partly done logs on") << false << Outcome::PartlyDone << true << partly
                                                   << true << partly << QString() << none;
        QTest::newRow("logon failure keeps the password")
            << false << Outcome::Failed << true << refused << false << notAnswering << typed
            << none;
        // The words of a message never decide: a home folder may be called "finished".
        const QString wordy = QStringLiteral(
            "Failed to mount initial user home directory. "
            "/home/finished/Successfully is not a folder.");
        QTest::newRow("failed logon whose text holds success words")
            << false << Outcome::Failed << false << wordy << false << wordy << typed << none;
        QTest::newRow("logout successfully")
            << true << Outcome::Succeeded << false
            << QStringLiteral("Successfully disconnected 3 drive(s).") << false
            << QStringLiteral("Ready") << QString() << std::optional<Field>(Field::server);
        const QString busy =
            QStringLiteral("Disconnected 5 of 6 shares; still in use: Staff Public.");
        QTest::newRow("logout that leaves a share in use stays logged on")
            << true << Outcome::PartlyDone << true << busy << true << busy << QString() << none;
        QTest::newRow("logout error")
            << true << Outcome::Failed << true
            << QStringLiteral("Error while disconnecting: Connection reset by peer") << true
            << QStringLiteral("Error while disconnecting: The server is not answering.")
            << QString() << none;
        const QString wordyLogout = QStringLiteral(
            "Error while disconnecting: "
            "/home/Successfully/already disconnected");
        QTest::newRow("failed logout whose text holds success words")
            << true << Outcome::Failed << true << wordyLogout << true << wordyLogout << QString()
            << none;
    }
    void workflowOutcomesDecideThePanelState() {
        using quorvane::Outcome;
        QFETCH(bool, logout);
        QFETCH(Outcome, outcome);
        QFETCH(bool, sharesLeft);
        QFETCH(QString, message);
        QFETCH(bool, loggedIn);
        QFETCH(QString, status);
        QFETCH(QString, password);
        QFETCH(std::optional<Field>, focus);

        StandIn standIn = logout ? gated(kLogonDone, message) : gated(message);
        const std::vector<std::string> left =
            sharesLeft ? std::vector<std::string>{"alice"} : std::vector<std::string>{};
        if (logout) {
            standIn.logoutOutcome = outcome;
            standIn.mountedAfterLogout = left;
        } else {
            standIn.logonOutcome = outcome;
            standIn.mountedAfterLogon = left;
        }
        Panel panel(std::move(standIn));
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
        // Logout is at hand whenever shares are still mounted, logged on or not.
        QCOMPARE(panel.logout()->isEnabled(), sharesLeft);
    }

    void canStartLogonCountsEveryCharacter_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("expected");
        // clang-format off
        QTest::newRow("single spaces") << " " << " " << " " << true;
        QTest::newRow("no server") << "" << "alice" << "pw" << false;
        QTest::newRow("no user") << "FS1" << "" << "pw" << false;
        QTest::newRow("no password") << "FS1" << "alice" << "" << false;
        // clang-format on
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

    // A ticket of the typed user for the server's realm stands in for the password: the panel
    // names it in the empty password field and lets Logon start without a password.
    void kerberosTicketStandsInForThePassword_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::addColumn<qint64>("lifetime");
        QTest::addColumn<bool>("serves");
        const qint64 hour = 3600;
        // clang-format off
        QTest::newRow("server in the realm") << "DC1.QV.TEST" << "alice" << hour << true;
        QTest::newRow("short server name, domain form")
            << "\\\\DC1\\USERS" << "QV\\alice" << hour << true;
        QTest::newRow("user@realm") << "SMB://DC1.QV.TEST:445" << "ALICE@qv.test" << hour << true;
        QTest::newRow("expired ticket") << "DC1.QV.TEST" << "alice" << qint64(-60) << false;
        QTest::newRow("server of another realm") << "FS1.OTHER.TEST" << "alice" << hour << false;
        QTest::newRow("IPv6 address") << "FE80::1" << "alice" << hour << false;
        QTest::newRow("server address") << "10.0.0.5" << "alice" << hour << false;
        QTest::newRow("another user") << "DC1.QV.TEST" << "bob" << hour << false;
        QTest::newRow("another realm named") << "DC1.QV.TEST" << "alice@OTHER.TEST" << hour << false;
        // clang-format on
    }
    void kerberosTicketStandsInForThePassword() {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QFETCH(qint64, lifetime);
        QFETCH(bool, serves);
        const auto shown = panelWithTicket("alice", "QV.TEST", lifetime, server, user);
        QVERIFY(shown);
        Panel& panel = *shown;
        QCOMPARE(panel.logon()->isEnabled(), serves);
        QCOMPARE(panel.password()->placeholderText().startsWith(QStringLiteral("Kerberos ticket")),
                 serves);
        QCOMPARE(panel.password()->accessibleDescription().contains(
                     QStringLiteral("Kerberos ticket of alice@QV.TEST")),
                 serves);
        QTest::keyClick(panel.password(), Qt::Key_Return);
        QCOMPARE(panel.view->isLoading(), serves);
        if (serves) {
            QTRY_VERIFY(!panel.view->isLoading());
            QCOMPARE(panel.standIn.lastLogonArguments(), (QStringList{server, user, QString()}));
        }
    }

    // A long principal is shortened in the placeholder, never cut by the field's edge; the
    // Remember box grows with the font.
    void placeholderAndCheckBoxFitTheFont_data() {
        QTest::addColumn<qreal>("points");
        QTest::newRow("default font") << qreal(0);
        QTest::newRow("18 pt") << qreal(18);
    }
    void placeholderAndCheckBoxFitTheFont() {
        QFETCH(qreal, points);
        const AppFont font(points);
        const QByteArray realm = "AD.HOHENZOLLERN-SIGMARINGEN.EXAMPLE";
        const auto panel = panelWithTicket("kunigunde.hohenzollern", realm, 3600, "DC1." + realm,
                                           QStringLiteral("kunigunde.hohenzollern"));
        QVERIFY(panel);
        QLineEdit* field = panel->password();
        const QString shown = field->placeholderText();
        QVERIFY2(shown.startsWith(QStringLiteral("Kerberos ticket")), qPrintable(shown));
        QVERIFY(!shown.contains(QStringLiteral("...")) && !shown.contains(QChar(0x2026)));
        QStyleOptionFrame frame;
        frame.initFrom(field);
        frame.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        const QRect text =
            field->style()->subElementRect(QStyle::SE_LineEditContents, &frame, field);
        QVERIFY2(field->fontMetrics().horizontalAdvance(shown) <= text.width() - 4,
                 qPrintable(shown));

        auto* box = panel->child<QCheckBox>("rememberPassword");
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QVERIFY(indicator.height() >= qMin(13, box->fontMetrics().ascent()));
        QVERIFY(indicator.height() >= box->fontMetrics().ascent() - 1);
        QVERIFY(box->sizeHint().height() >= indicator.height());
    }

    // Return in a field moves the focus on to the next; in the password field it starts the
    // logon (canStartLogonCountsEveryCharacter).
    void returnMovesTheFocusAlong() {
        Panel panel;
        panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
        panel.server()->setFocus();
        for (const auto& [from, to, field] :
             {std::tuple(panel.server(), panel.user(), Field::username),
              std::tuple(panel.user(), panel.password(), Field::password)}) {
            QTest::keyClick(from, Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), to);
            QCOMPARE(panel.view->focusedField(), std::optional<Field>(field));
        }
        QVERIFY(!panel.view->isLoading());
    }

    void serverFieldUpperCasesAndStoresEveryEdit_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        // clang-format off
        QTest::newRow("host name") << "fs-01.corp" << "FS-01.CORP";
        QTest::newRow("address") << "10.0.0.5" << "10.0.0.5";
        QTest::newRow("longer upper case") << "straße" << "STRASSE";
        // clang-format on
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

    // "Log on automatically": the administrator's preset until the user chooses, the user name
    // kept only while it is on; the logon at login takes what is saved and types nothing, and
    // the panel asks only when the user is needed.
    void automaticLogonIsOptInAndAsksOnlyWhenNeeded() {
        QTemporaryDir system;
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
        QSettings(QSettings::NativeFormat, QSettings::SystemScope,
                  QCoreApplication::organizationName(), QCoreApplication::applicationName())
            .setValue("logOnAutomatically", true);
        const auto box = [](const Panel& panel) {
            return panel.child<QCheckBox>("logOnAutomatically");
        };
        QVERIFY(box(Panel())->isChecked());
        QTest::mouseClick(box(Panel()), Qt::LeftButton);
        QVERIFY2(!box(Panel())->isChecked(), "the user's choice wins over the preset");

        StandIn standIn = gated();
        Panel typed(standIn);
        QTest::mouseClick(box(typed), Qt::LeftButton);
        driveTo(typed, PanelState::loggedOn);
        QCOMPARE(QSettings().value("savedUserName").toString(), QStringLiteral("alice"));

        struct Case {
            const char* name;
            quorvane::WorkflowResult::Password verdict;
            bool needsUser;
            QString message;
        };
        const Case cases[] = {
            {"logged on", quorvane::WorkflowResult::Password::NotAsked, false,
             "Logon workflow finished. Shares mapped under ~/smbmounts/"},
            {"nothing to log on with", quorvane::WorkflowResult::Password::NotAsked, true,
             "No Kerberos ticket and no remembered password: type your password and press "
             "Logon."},
            {"kept password refused", quorvane::WorkflowResult::Password::Refused, true,
             "The server did not take the remembered password, which is forgotten. Type your "
             "password and press Logon."},
        };
        for (const Case& c : cases) {
            StandIn atLogin;
            if (c.needsUser) {
                atLogin.autoLogonResult =
                    quorvane::WorkflowResult{quorvane::Outcome::Failed, "engine words", {}};
                atLogin.autoLogonResult.passwordNeeded = true;
                atLogin.autoLogonResult.password = c.verdict;
            }
            Panel panel(atLogin);
            panel.view->hide();  // at login nothing is shown until the panel is needed
            QSignalSpy asked(panel.view.get(), &ContentView::userNeeded);
            panel.view->startAutoLogon();
            QTRY_VERIFY(!panel.view->isLoading());
            QCOMPARE(atLogin.calls->autoLogonArguments, (QStringList{"FS1", "alice"}));
            QCOMPARE(panel.user()->text(), QStringLiteral("alice"));
            QCOMPARE(panel.view->isLoggedIn(), !c.needsUser);
            QCOMPARE(asked.size(), c.needsUser ? 1 : 0);
            QCOMPARE(panel.view->statusMessage(), c.message);
            QVERIFY(panel.password()->text().isEmpty());
            if (c.needsUser) {
                panel.view->show();  // as the shell does on `userNeeded`
                QCOMPARE(panel.view->focusedField(), std::optional<Field>(Field::password));
            }
        }

        QTest::mouseClick(box(Panel()), Qt::LeftButton);
        QVERIFY2(!QSettings().contains("savedUserName"), "off, the user name is not kept");
    }

    void logonTakesTheTextsOfTheMomentItStarts() {
        Panel panel(gated());
        panel.fill(QStringLiteral("FS1"), QStringLiteral("alice"), QStringLiteral("pw"));
        QTest::mouseClick(panel.child<QCheckBox>("rememberPassword"), Qt::LeftButton);
        QTest::mouseClick(panel.logon(), Qt::LeftButton);
        // The fields stay editable while the logon runs; edits reach no running workflow.
        QVERIFY(panel.user()->isEnabled());
        QTest::keyClicks(panel.user(), QStringLiteral("-edited"));
        panel.standIn.gate->release();
        QTRY_VERIFY(!panel.view->isLoading());
        QCOMPARE(panel.standIn.lastLogonArguments(), (QStringList{"FS1", "alice", "pw"}));
        QVERIFY(panel.standIn.calls->remembered);
        QCOMPARE(panel.view->username(), QStringLiteral("alice-edited"));
        // The choice holds for the next start too; logged on, it cannot change.
        QVERIFY(!panel.child<QCheckBox>("rememberPassword")->isEnabled());
        QVERIFY(Panel().child<QCheckBox>("rememberPassword")->isChecked());
    }

    void panelGoesAwayWhileAWorkflowRuns() {
        StandIn held = gated();
        {
            Panel panel(held);
            driveTo(panel, PanelState::loggingOn);
        }
        held.gate->release();
        quorvane::testing::drainWorkers();
        QCoreApplication::processEvents();
        QCOMPARE(held.calls->finished.load(), 1);
    }

    void aThrowingWorkflowStillEndsTheBusyState() {
        quorvane::Workflows throwing;
        throwing.logon = [](const QString&, const QString&, const QString&,
                            bool) -> quorvane::WorkflowResult { throw std::runtime_error("boom"); };
        ContentView view(throwing);
        view.show();
        quorvane::testing::typeAndLogOn(&view);
        QTRY_VERIFY(!view.isLoading());
        QVERIFY(view.statusMessage().contains("boom"));
        QVERIFY(!view.isLoggedIn());
    }

    // The close is never cancelled: a pop-up closed and shown again meanwhile closes too.
    void popoverClosesAfterALogon_data() {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("still shown") << false;
        QTest::newRow("closed and shown again") << true;
    }
    void popoverClosesAfterALogon() {
        QFETCH(bool, reopen);
        QWidget popover;
        auto* view = new ContentView(StandIn().workflows(), &popover);
        view->setPopover(&popover);
        popover.show();
        quorvane::testing::typeAndLogOn(view);
        QTRY_VERIFY(view->isLoggedIn());
        if (reopen) {
            popover.hide();
            popover.show();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!popover.isVisible(), 5000);
    }

    // The panel keeps 400 x 280 at the default font and grows with a larger font or a long
    // message rather than clip a control or hide the end of the message.
    void panelGrowsRatherThanClips_data() {
        QTest::addColumn<qreal>("points");
        QTest::addColumn<int>("messageRepeats");
        QTest::newRow("default font") << qreal(0) << 0;
        QTest::newRow("default font, long message") << qreal(0) << 4;
        QTest::newRow("14 pt") << qreal(14) << 0;
        QTest::newRow("18 pt, long message") << qreal(18) << 4;
    }
    void panelGrowsRatherThanClips() {
        QFETCH(qreal, points);
        QFETCH(int, messageRepeats);
        const AppFont font(points);
        const QString message = QStringLiteral("Error while disconnecting: ") +
                                QStringLiteral("/home/alice/smbmounts/Staff Public is in use; ")
                                    .repeated(messageRepeats);
        Panel panel(gated(message));
        driveTo(panel, PanelState::logonEnded);
        auto* line = panel.child<QLabel>("statusLine");
        const QList<QWidget*> controls{panel.child<QLabel>("title"),
                                       panel.server(),
                                       panel.user(),
                                       panel.password(),
                                       line,
                                       panel.logon(),
                                       panel.logout()};
        const auto boxOf = [&panel](QWidget* control) {
            return QRect(control->mapTo(panel.view.get(), QPoint()), control->size());
        };
        // The layout settles over a few posted events once the message is in.
        QTRY_VERIFY(panel.view->size() == panel.view->sizeHint() &&
                    boxOf(line).bottom() < boxOf(panel.logon()).top());
        if (points == 0 && messageRepeats == 0) {
            QCOMPARE(panel.view->size(), QSize(ContentView::kWidth, ContentView::kHeight));
        }
        QCOMPARE(line->text().remove(QLatin1Char('\n')).remove(QLatin1Char(' ')),
                 QString(message).remove(QLatin1Char(' ')));
        const QRect frame = panel.view->rect();
        for (int i = 0; i < controls.size(); ++i) {
            const QRect box = boxOf(controls[i]);
            QVERIFY2(frame.contains(box), qPrintable(controls[i]->objectName()));
            // The status line wraps its text itself.
            QVERIFY2(controls[i] == line ||
                         (controls[i]->width() >= controls[i]->minimumSizeHint().width() &&
                          controls[i]->height() >= controls[i]->minimumSizeHint().height()),
                     qPrintable(controls[i]->objectName()));
            for (int j = i + 1; j < controls.size(); ++j) {
                QVERIFY2(!box.intersects(boxOf(controls[j])),
                         qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
            }
        }
    }
};

QTEST_MAIN(ContentViewTest)
#include "ContentViewTest.moc"
