// The tray program with quick stand-ins for the engine, for scripts/bench-gui.sh and
// scripts/screenshot.sh: each workflow waits a moment, prints one line and reports success,
// and the wall clock is printed once the tray icon has been shown.
#include <QApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "NetlogonClientApp.h"

namespace {

constexpr int kStandInDelayMs = 300;

QString standIn(const char* name, const QString& message) {
    QThread::msleep(kStandInDelayMs);
    std::printf("stand-in: %s\n", name);
    std::fflush(stdout);
    return message;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setQuitOnLastWindowClosed(false);

    quorvane::Workflows workflows;
    workflows.logon = [](const QString&, const QString&, const QString&) {
        return standIn("logon",
                       QStringLiteral("Logon workflow finished. Shares mapped under ~/smbmounts/"));
    };
    workflows.logout = [] {
        return standIn("logout", QStringLiteral("Successfully disconnected 2 drive(s)."));
    };
    quorvane::NetlogonClientApp client(std::move(workflows));
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
