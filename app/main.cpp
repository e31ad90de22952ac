#include <CommandLine.h>
#include <CoreDumps.h>

#include <QApplication>

#include "NetlogonClientApp.h"

int main(int argc, char** argv) {
    // The password typed into the panel or read by the command line stays out of core dumps.
    quorvane::disableCoreDumps();

    // Any argument means the command line; it runs without a GUI toolkit.
    if (argc > 1) {
        return quorvane::runCommandLine(argc, argv);
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    // The tray icon keeps the program alive while the pop-up is closed.
    QApplication::setQuitOnLastWindowClosed(false);

    // Quitting while a workflow runs lets it finish first (QApplication waits for its worker
    // threads): no mount or removal is cut off halfway. The panel is gone at once all the same.
    quorvane::NetlogonClientApp client;
    return client.run();
}
