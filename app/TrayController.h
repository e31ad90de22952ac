#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "MountedShares.h"
#include "Notices.h"
#include "ShareHealthWatch.h"
#include "TrayState.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace quorvane {

class AutoRepair;
class ContentView;
class DaemonEvents;

/// The tray icon around the logon panel: its picture and tool tip follow the panel's state,
/// its context menu lists the mounted shares (with the cause of each broken one) and offers
/// Reconnect, Logon…, Logout, Start at login and Quit, and the end of each workflow is told in
/// a notification, since the pop-up closes by itself. The shares are checked when the menu
/// opens, after each workflow, after a wake from sleep and after a network change, and the
/// moment a mount daemon ends or starts or a mount comes or goes; never on a timer.
class TrayController : public QObject {
    Q_OBJECT

public:
    TrayController(ContentView* contentView, QString mountRoot, std::function<void()> showPanel,
                   QObject* parent = nullptr);
    ~TrayController() override;

    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu* menu() const { return menu_.get(); }
    TrayStatus status() const { return status_; }

    /// Rebuilds the menu from the mount root and the panel's state and checks the shares again;
    /// runs each time it opens.
    void refreshMenu();
    ShareHealthWatch* health() const { return health_; }
    /// The repair after a wake or a network change.
    AutoRepair* autoRepair() const { return autoRepair_; }

signals:
    /// A notice went out to the user.
    void noticeShown(const quorvane::Notice& notice);

private:
    void panelChanged();
    void workflowFinished(Workflow workflow, const WorkflowResult& result);
    void rescanShares();
    void sharesChangedBehindUs();
    void rebuildMenu();
    int brokenShares() const;
    void show(const TrayStatus& status);

    QPointer<ContentView> contentView_;
    QString mountRoot_;
    std::function<void()> showPanel_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QList<MountedShare> shares_;
    ShareHealthWatch* health_ = nullptr;
    DaemonEvents* daemonEvents_ = nullptr;
    AutoRepair* autoRepair_ = nullptr;
    bool menuStale_ = false;  // the shares changed while the menu was open
    bool sharesLeftMounted_ = false;
    int notMountedShares_ = 0;  // by the last logon
    bool shown_ = false;
    TrayStatus status_;
};

}  // namespace quorvane
