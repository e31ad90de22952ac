#include "NetlogonClientApp.h"

#include <BoundedCall.h>
#include <SMBManager.h>

#include <QApplication>
#include <QSessionManager>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "SingleInstance.h"
#include "StopSignals.h"

namespace quorvane {

NetlogonClientApp::NetlogonClientApp(Workflows workflows, bool startedAtLogin)
    : workflows_(workflows), appDelegate_(std::make_unique<AppDelegate>(std::move(workflows))) {
    if (startedAtLogin) {
        appDelegate_->setTrayWait(kTrayWaitAtLoginMs);
        appDelegate_->setLogOnAtStart(true);
    }
}

NetlogonClientApp::~NetlogonClientApp() = default;

bool NetlogonClientApp::handOverToRunningInstance() {
    singleInstance_ = std::make_unique<SingleInstance>();
    if (singleInstance_->handOverToRunningInstance()) {
        return true;
    }
    if (!singleInstance_->problem().isEmpty()) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(QCoreApplication::translate(
                                    "main", "quorvane: a second start will not find this one: %1")
                                    .arg(singleInstance_->problem())));
    }
    QObject::connect(singleInstance_.get(), &SingleInstance::showRequested, appDelegate_.get(),
                     &AppDelegate::showPanel);
    return false;
}

bool NetlogonClientApp::stopRunningWorkflow(int waitMs) {
    if (ContentView* view = appDelegate_->contentView()) {
        view->stopWorkflow();
    } else if (workflows_.stop) {
        workflows_.stop();
    }
    return QThreadPool::globalInstance()->waitForDone(waitMs);
}

// The desktop session ends (the session manager asks, or SIGTERM / SIGHUP arrives): the
// shares are released before the program goes, within a bound, so that no mount and no mount
// daemon outlives the session. Quitting from the panel keeps the shares, as it always did.
void NetlogonClientApp::endSession() {
    if (endingSession_) {
        return;
    }
    endingSession_ = true;
    const auto deadline = std::chrono::steady_clock::now() + kSessionEndLogoutLimit;
    // A stopped workflow first takes back what it half made and releases netlogon; until it
    // has, it holds the lock that the logout needs.
    stopRunningWorkflow(kSessionEndStopWaitMs);
    if (workflows_.logout) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        // A kept password stays for the next login's logon.
        const auto result = callWithin(
            std::max(left, std::chrono::milliseconds(500)),
            [logout = workflows_.sessionEndLogout ? workflows_.sessionEndLogout
                                                  : workflows_.logout] { return logout(); });
        logoutStillRunning_ = !result;
        std::printf("%s\n", result
                                ? result->message.c_str()
                                : "The logout at the end of the session did not finish in time.");
        std::fflush(stdout);
    }
    QCoreApplication::quit();
}

int NetlogonClientApp::run() {
    stopSignals_ = std::make_unique<StopSignals>();
    QObject::connect(stopSignals_.get(), &StopSignals::stopRequested, appDelegate_.get(),
                     [this](int) { endSession(); });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, appDelegate_.get(),
                     [this](QSessionManager&) { endSession(); });
    QTimer::singleShot(0, appDelegate_.get(), &AppDelegate::applicationDidFinishLaunching);
    const int exitCode = QApplication::exec();
    if (!stopRunningWorkflow(kStopWaitMs) || logoutStillRunning_) {
        // The workflow's tool has been told to stop and takes back what it half made by
        // itself; the program does not wait for it any longer (the toolkit would, unbounded).
        // The folder it was mounting on would stay behind empty: an unmounted, empty folder
        // of the mount root is nobody's. A logout past its bound has released some shares
        // whose folders it has not yet removed; ending the program the ordinary way would
        // destroy what its thread still uses.
        SMBManager().removeEmptyFolders();
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}

}  // namespace quorvane
