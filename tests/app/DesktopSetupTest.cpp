#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "Autostart.h"
#include "ContentView.h"
#include "TrayController.h"
#include "Workflows.h"

using namespace quorvane;

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

/// What an administrator sets up for every desk, read from real files: the server preset in
/// the system configuration folder, and the autostart entries.
class DesktopSetupTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString userConfig() const { return dir_.filePath("home/.config"); }
    QString systemConfig() const { return dir_.filePath("etc/xdg"); }
    QString userEntry() const { return userConfig() + "/autostart/quorvane.desktop"; }
    QString systemEntry() const { return systemConfig() + "/autostart/quorvane.desktop"; }

private slots:
    void initTestCase() {
        // Before the first QSettings: Qt reads these folders once.
        qputenv("HOME", QFile::encodeName(dir_.filePath("home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(userConfig()));
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(dir_.filePath("other") + ":" + systemConfig()));
        QCoreApplication::setOrganizationName("Quorvane");
        QCoreApplication::setApplicationName("Quorvane");
    }

    void systemPresetGivesTheServerUntilTheUserTypesOne() {
        writeFile(systemConfig() + "/Quorvane/Quorvane.conf",
                  "[General]\nsavedServerAddress=FS9.SCHOOL.EXAMPLE\n");
        const QByteArray preset = readFile(systemConfig() + "/Quorvane/Quorvane.conf");
        {
            ContentView view(Workflows{});
            QCOMPARE(view.storedServerAddress(), QStringLiteral("FS9.SCHOOL.EXAMPLE"));
            view.show();
            QCOMPARE(view.serverInput(), QStringLiteral("FS9.SCHOOL.EXAMPLE"));
            auto* field = view.findChild<QLineEdit*>("serverField");
            field->selectAll();
            QTest::keyClicks(field, "fs2");
        }
        QSettings().sync();
        QVERIFY(
            readFile(userConfig() + "/Quorvane/Quorvane.conf").contains("savedServerAddress=FS2"));
        QCOMPARE(readFile(systemConfig() + "/Quorvane/Quorvane.conf"), preset);
        ContentView again(Workflows{});
        QCOMPARE(again.storedServerAddress(), QStringLiteral("FS2"));
        QFile::remove(userConfig() + "/Quorvane/Quorvane.conf");
    }

    void startAtLogin_data() {
        QTest::addColumn<bool>("systemEntry");
        QTest::newRow("package's entry in the system folder") << true;
        QTest::newRow("no system entry") << false;
    }
    void startAtLogin() {
        QFETCH(bool, systemEntry);
        QFile::remove(userEntry());
        QFile::remove(this->systemEntry());
        if (systemEntry) {
            writeFile(this->systemEntry(), readFile(QUORVANE_AUTOSTART_ENTRY));
        }
        QCOMPARE(isStartAtLoginEnabled(), systemEntry);

        QVERIFY(setStartAtLogin(false));
        QVERIFY(!isStartAtLoginEnabled());
        if (systemEntry) {
            // The user's own entry hides the system one; the system one stays as it is.
            QVERIFY(readFile(userEntry()).contains("\nHidden=true\n"));
            QCOMPARE(readFile(this->systemEntry()), readFile(QUORVANE_AUTOSTART_ENTRY));
        }

        QVERIFY(setStartAtLogin(true));
        QVERIFY(isStartAtLoginEnabled());
        QCOMPARE(QFile::exists(userEntry()), !systemEntry);
        if (!systemEntry) {
            const QByteArray own = readFile(userEntry());
            QVERIFY(own.startsWith("[Desktop Entry]\n"));
            QVERIFY(own.contains("\nExec=\"" +
                                 QFile::encodeName(QCoreApplication::applicationFilePath()) +
                                 "\" --autostart\n"));
            QVERIFY(!own.contains("Hidden"));
        }
    }

    void entryDisabledTheGnomeWayCountsAsOff() {
        QFile::remove(userEntry());
        writeFile(systemEntry(),
                  "[Desktop Entry]\nType=Application\nExec=quorvane\n"
                  "X-GNOME-Autostart-enabled=false\n");
        QVERIFY(!isStartAtLoginEnabled());
        QVERIFY(setStartAtLogin(true));
        QVERIFY(isStartAtLoginEnabled());
    }

    void trayMenuItemTurnsItOffAndOn() {
        QFile::remove(userEntry());
        writeFile(systemEntry(), readFile(QUORVANE_AUTOSTART_ENTRY));
        ContentView view(Workflows{});
        TrayController tray(&view, dir_.filePath("home/smbmounts"), [] {});
        auto* item = tray.menu()->findChild<QAction*>("startAtLoginAction");
        QVERIFY(item->isCheckable());
        QVERIFY(item->isChecked());
        item->trigger();
        QVERIFY(!item->isChecked());
        QVERIFY(!isStartAtLoginEnabled());
        tray.refreshMenu();
        item = tray.menu()->findChild<QAction*>("startAtLoginAction");
        QVERIFY(!item->isChecked());
        item->trigger();
        QVERIFY(isStartAtLoginEnabled());
        QVERIFY(!QFile::exists(userEntry()));
    }
};

QTEST_MAIN(DesktopSetupTest)
#include "DesktopSetupTest.moc"
