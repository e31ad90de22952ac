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
#include <functional>
#include <optional>

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
    // One bound for everything, the program's leaving included.
    const auto deadline = std::chrono::steady_clock::now() + kSessionEndLogoutLimit;
    const auto left = [deadline](std::chrono::milliseconds least) {
        return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - kSessionEndLeaving - std::chrono::steady_clock::now()),
                        least);
    };
    constexpr std::chrono::milliseconds kLeastForALogout{200};
    std::optional<WorkflowResult> result;
    if (workflows_.logoutWithin) {
        // The stopped workflow takes back what it half made while the shares are released:
        // one after the other they would not fit a busy machine's bound. The bounded logout
        // ends its unmounts in time by itself (less what ending them takes); the wait is for
        // one that does not. Then the workflow gets what is left to remove its folders.
        stopRunningWorkflow(0);
        const std::chrono::milliseconds limit = left(kLeastForALogout);
        result = callWithin(
            limit, [within = workflows_.logoutWithin, limit] { return within(limit - limit / 4); });
        stopRunningWorkflow(static_cast<int>(left(std::chrono::milliseconds(0)).count()));
    } else if (workflows_.logout) {
        // A stopped workflow first takes back what it half made and releases netlogon; until
        // it has, it holds the lock that the logout needs.
        stopRunningWorkflow(kSessionEndStopWaitMs);
        result = callWithin(left(kLeastForALogout), workflows_.logout);
    } else {
        stopRunningWorkflow(kSessionEndStopWaitMs);
    }
    if (workflows_.logoutWithin || workflows_.logout) {
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
    // At the end of the session the stopped workflow has had its time already.
    if (!stopRunningWorkflow(endingSession_ ? 0 : kStopWaitMs) || logoutStillRunning_) {
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
