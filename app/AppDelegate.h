#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "ContentView.h"
#include "Workflows.h"

class QSystemTrayIcon;
class QWidget;

namespace quorvane {

class Popover;
class TrayController;

/// Builds the visible shell once the event loop runs: the logon panel inside a pop-up under a
/// tray icon whose click toggles it, and on the very first launch opens the pop-up by itself.
/// Without a system tray the panel is shown as an ordinary small window instead.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    enum class TrayMode { detect, tray, window };

    static constexpr int kFirstLaunchDelayMs = 500;
    static constexpr int kTrayPollMs = 250;

    explicit AppDelegate(Workflows workflows, TrayMode trayMode = TrayMode::detect,
                         QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    /// Started at login, the program may come up before the desktop's tray: it then looks for
    /// the tray for up to `ms` before it falls back to the panel window.
    void setTrayWait(int ms) { trayWaitMs_ = ms; }
    /// Started at login: with "Log on automatically" on, the program logs on by itself and
    /// shows the panel only when it needs the user.
    void setLogOnAtStart(bool logOn) { logOnAtStart_ = logOn; }
    void togglePopover();
    /// Opens the panel: the pop-up under the icon, or the panel's window when there is no tray.
    void showPanel();

    QSystemTrayIcon* statusItem() const;
    TrayController* trayController() const { return trayController_.get(); }
    Popover* popover() const { return popover_.get(); }
    /// The window that shows the panel when there is no tray; none otherwise.
    QWidget* panelWindow() const { return panelWindow_.get(); }
    ContentView* contentView() const { return contentView_; }

private:
    void showPopover();

    Workflows workflows_;
    TrayMode trayMode_;
    int trayWaitMs_ = 0;
    bool logOnAtStart_ = false;
    std::unique_ptr<TrayController> trayController_;
    std::unique_ptr<Popover> popover_;
    std::unique_ptr<QWidget> panelWindow_;
    QPointer<ContentView> contentView_;
};

}  // namespace quorvane
