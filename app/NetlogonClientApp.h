#pragma once

#include <chrono>
#include <memory>

#include "AppDelegate.h"

namespace quorvane {

class SingleInstance;
class StopSignals;

/// The program's entry: it owns the one AppDelegate and runs the event loop. It opens no window
/// of its own; the delegate's tray icon is the way in.
class NetlogonClientApp {
public:
    /// The engine's workflows unless a test or benchmark build hands in its own.
    /// `startedAtLogin`: by the desktop's autostart entry, when the tray may not be up yet.
    explicit NetlogonClientApp(Workflows workflows = engineWorkflows(),
                               bool startedAtLogin = false);
    ~NetlogonClientApp();

    /// One program per user session: true when another one runs and has been asked to show
    /// its panel, so this one should end at once. Otherwise later starts reach this one.
    bool handOverToRunningInstance();

    /// Runs until the application quits; needs a QApplication. Returns its exit code. A
    /// workflow still running then is asked to stop and given `kStopWaitMs`; past that the
    /// process ends without waiting further.
    int run();

    AppDelegate& appDelegate() { return *appDelegate_; }

    static constexpr int kTrayWaitAtLoginMs = 30000;
    /// How long quitting waits for a running workflow to end its tool.
    static constexpr int kStopWaitMs = 1500;
    /// How long the end of the desktop session may take in all, from the request to the end
    /// of the program: the running workflow's stop, the logout, and leaving.
    static constexpr std::chrono::seconds kSessionEndLogoutLimit{8};
    /// How much of that the stopped workflow may take: its tool's grace and kill, and the
    /// release of netlogon.
    static constexpr int kSessionEndStopWaitMs = 5500;
    /// What the program keeps of it for leaving once the logout has ended or been given up.
    static constexpr std::chrono::milliseconds kSessionEndLeaving{1500};

private:
    void endSession();
    bool stopRunningWorkflow(int waitMs);

    Workflows workflows_;
    std::unique_ptr<AppDelegate> appDelegate_;
    std::unique_ptr<SingleInstance> singleInstance_;
    std::unique_ptr<StopSignals> stopSignals_;
    bool endingSession_ = false;
    /// The logout at the end of the session outlasted its bound and still runs on a thread of
    /// its own: the program must not tear down what that thread uses.
    bool logoutStillRunning_ = false;
};

}  // namespace quorvane
