#include <QApplication>

#include "NetlogonClientApp.h"

#ifdef QUORVANE_HAVE_CLI
#include <CommandLine.h>
#endif
#include <cstdio>

int main(int argc, char** argv) {
    // Any argument means the command line; it runs without a GUI toolkit.
    if (argc > 1) {
#ifdef QUORVANE_HAVE_CLI
        return quorvane::runCommandLine(argc, argv);
#else
        std::fprintf(stderr, "quorvane: this build has no command line\n");
        return 2;
#endif
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
