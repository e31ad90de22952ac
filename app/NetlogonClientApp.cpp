#include "NetlogonClientApp.h"

#include <QApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace quorvane {

namespace {
constexpr int kStandInDelayMs = 300;
}  // namespace

Workflows standInWorkflows() {
    Workflows workflows;
    workflows.logon = [](const QString&, const QString&, const QString&) {
        QThread::msleep(kStandInDelayMs);
        std::printf("stand-in: logon\n");
        std::fflush(stdout);
        return WorkflowResult{Outcome::Succeeded,
                              "Logon workflow finished. Shares mapped under ~/smbmounts/",
                              {"alice", "Staff Public"}};
    };
    workflows.logout = [] {
        QThread::msleep(kStandInDelayMs);
        std::printf("stand-in: logout\n");
        std::fflush(stdout);
        return WorkflowResult{Outcome::Succeeded, "Successfully disconnected 2 drive(s).", {}};
    };
    return workflows;
}

NetlogonClientApp::NetlogonClientApp()
    : appDelegate_(std::make_unique<AppDelegate>(
          qEnvironmentVariableIsSet("QUORVANE_STANDIN_WORKFLOWS") ? standInWorkflows()
                                                                  : engineWorkflows())) {}

NetlogonClientApp::~NetlogonClientApp() = default;

int NetlogonClientApp::run() {
    QTimer::singleShot(0, appDelegate_.get(), &AppDelegate::applicationDidFinishLaunching);
    if (qEnvironmentVariableIsSet("QUORVANE_REPORT_STARTUP")) {
        // For the start-up benchmark: the wall clock once the tray icon has been shown.
        QTimer::singleShot(0, appDelegate_.get(), [] {
            std::printf("startup: tray icon shown at %lld ms\n",
                        static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::fflush(stdout);
        });
    }
    return QApplication::exec();
}

}  // namespace quorvane
