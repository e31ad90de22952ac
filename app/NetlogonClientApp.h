#pragma once

#include <memory>

#include "AppDelegate.h"

namespace quorvane {

/// The program's entry: it owns the one AppDelegate and runs the event loop. It opens no window
/// of its own; the delegate's tray icon is the way in.
class NetlogonClientApp {
public:
    /// The engine's workflows unless a test or benchmark build hands in its own.
    explicit NetlogonClientApp(Workflows workflows = engineWorkflows());
    ~NetlogonClientApp();

    /// Runs until the application quits; needs a QApplication. Returns its exit code.
    int run();

    AppDelegate& appDelegate() { return *appDelegate_; }

private:
    std::unique_ptr<AppDelegate> appDelegate_;
};

}  // namespace quorvane
