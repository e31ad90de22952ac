// The tray program with quick stand-ins for the engine, for scripts/bench-gui.sh and
// scripts/screenshot.sh: each workflow waits a moment, prints one line and reports success,
// and the wall clock is printed once the tray icon has been shown.
#include <QApplication>
#include <QDateTime>
#include <QTimer>
#include <cstdio>

#include "NetlogonClientApp.h"
#include "PanelTestSupport.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setQuitOnLastWindowClosed(false);

    quorvane::test::StandIn standIn;
    standIn.delayMs = 300;
    standIn.announce = true;
    quorvane::NetlogonClientApp client(standIn.workflows());
    // Queued behind the launch that run() queues, so it prints once the icon is shown.
    QTimer::singleShot(0, [] {
        QTimer::singleShot(0, [] {
            std::printf("startup: tray icon shown at %lld ms\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
        });
    });
    return client.run();
}
