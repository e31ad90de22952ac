#include <CommandLine.h>
#include <CoreDumps.h>

#include <QApplication>
#include <cstdio>

#include "DesktopSecretStore.h"
#include "LaunchMode.h"
#include "LogonSettings.h"
#include "NetlogonClientApp.h"
#include "ShellPlatform.h"
#include "Translations.h"

namespace {

// Where the settings live: the macOS defaults domain, org.quorvane.Quorvane, is also where
// managed preferences (an administrator's preset) are looked up; Linux paths use the
// organisation's name. Set before any settings are read, with or without a toolkit.
void nameTheApplication() {
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationDomain(QStringLiteral("quorvane.org"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
}

}  // namespace

int main(int argc, char** argv) {
    // The password typed into the panel or read by the command line stays out of core dumps.
    quorvane::disableCoreDumps();

    // A command runs without a GUI toolkit, so it works without a display too.
    if (quorvane::launchModeFor(argc, argv) == quorvane::LaunchMode::commandLine) {
        quorvane::DesktopSecretStore secrets;
        nameTheApplication();
        // `logon --auto` logs on as the panel would at login.
        const quorvane::AutoLogonSettings saved = quorvane::readAutoLogonSettings();
        return quorvane::runCommandLine(argc, argv, &secrets,
                                        {saved.server.toStdString(), saved.user.toStdString()});
    }

    if (!quorvane::hasDisplay(argc, argv)) {
        if (const char* unknown = quorvane::unknownTrayOption(argc, argv)) {
            std::fprintf(stderr, "quorvane: unknown option \"%s\"\nTry 'quorvane --help'.\n",
                         unknown);
            return 2;
        }
        std::fprintf(stderr,
                     "quorvane: no display to show the tray icon on (DISPLAY and "
                     "WAYLAND_DISPLAY are not set).\nThe commands logon, logout, status and "
                     "reconnect need none; see 'quorvane --help'.\n");
        return 1;
    }
    QApplication app(argc, argv);  // takes the standard Qt options out of the arguments
    quorvane::installTranslations();
    QStringList unknown = QApplication::arguments().mid(1);
    const bool startedAtLogin = unknown.removeAll(quorvane::kAutostartOption) > 0;
    if (!unknown.isEmpty()) {
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QCoreApplication::translate(
                           "main", "quorvane: unknown option \"%1\"\nTry 'quorvane --help'.")
                           .arg(unknown.first())));
        return 2;
    }
    nameTheApplication();
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    // The tray icon keeps the program alive while the pop-up is closed.
    QApplication::setQuitOnLastWindowClosed(false);

    // Quitting while a workflow runs stops its tool, which takes back a half-made mount; the
    // program is gone within two seconds. The end of the desktop session logs out first.
    quorvane::NetlogonClientApp client(quorvane::engineWorkflows(), startedAtLogin);
    if (client.handOverToRunningInstance()) {
        return 0;  // the running program shows its panel instead
    }
    return client.run();
}
