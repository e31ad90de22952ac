#pragma once

#include <memory>

#include "AppDelegate.h"

namespace quorvane {

/// The program's entry: it owns the one AppDelegate and runs the event loop. It opens no window
/// of its own; the delegate's tray icon is the way in.
class NetlogonClientApp {
public:
    /// `startedAtLogin`: by the desktop's autostart entry, when the tray may not be up yet.
    explicit NetlogonClientApp(bool startedAtLogin = false);
    ~NetlogonClientApp();

    /// Runs until the application quits; needs a QApplication. Returns its exit code.
    int run();

    AppDelegate& appDelegate() { return *appDelegate_; }

    static constexpr int kTrayWaitAtLoginMs = 30000;

private:
    std::unique_ptr<AppDelegate> appDelegate_;
};

/// Quick stand-ins for the engine (used by the benchmarks): each waits a moment, prints one
/// line and reports success.
Workflows standInWorkflows();

}  // namespace quorvane
