#include "NetlogonClientApp.h"

#include <BoundedCall.h>

#include <QApplication>
#include <QSessionManager>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "SingleInstance.h"
#include "StopSignals.h"

namespace quorvane {

NetlogonClientApp::NetlogonClientApp(Workflows workflows, bool startedAtLogin)
    : workflows_(workflows), appDelegate_(std::make_unique<AppDelegate>(std::move(workflows))) {
    if (startedAtLogin) {
        appDelegate_->setTrayWait(kTrayWaitAtLoginMs);
    }
}

NetlogonClientApp::~NetlogonClientApp() = default;

bool NetlogonClientApp::handOverToRunningInstance() {
    singleInstance_ = std::make_unique<SingleInstance>();
    if (singleInstance_->handOverToRunningInstance()) {
        return true;
    }
    QObject::connect(singleInstance_.get(), &SingleInstance::showRequested, appDelegate_.get(),
                     &AppDelegate::showPanel);
    return false;
}

bool NetlogonClientApp::stopRunningWorkflow() {
    if (ContentView* view = appDelegate_->contentView()) {
        view->stopWorkflow();
    } else if (workflows_.stop) {
        workflows_.stop();
    }
    return QThreadPool::globalInstance()->waitForDone(kStopWaitMs);
}

// The desktop session ends (the session manager asks, or SIGTERM / SIGHUP arrives): the
// shares are released before the program goes, within a bound, so that no mount and no mount
// daemon outlives the session. Quitting from the panel keeps the shares, as it always did.
void NetlogonClientApp::endSession() {
    if (endingSession_) {
        return;
    }
    endingSession_ = true;
    stopRunningWorkflow();
    if (workflows_.logout) {
        const auto result = callWithin(std::chrono::milliseconds(kSessionEndLogoutLimit),
                                       [logout = workflows_.logout] { return logout(); });
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
    if (!stopRunningWorkflow()) {
        // The workflow's tool has been told to stop and takes back what it half made by
        // itself; the program does not wait for it any longer (the toolkit would, unbounded).
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}

}  // namespace quorvane
