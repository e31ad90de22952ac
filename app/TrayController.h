#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "MountedShares.h"
#include "Notices.h"
#include "TrayState.h"

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace quorvane {

class ContentView;

/// The tray icon around the logon panel: its picture and tool tip follow the panel's state,
/// its context menu lists the mounted shares and offers Logon…, Logout, Start at login and
/// Quit, and the end of each workflow is told in a notification, since the pop-up closes by
/// itself.
class TrayController : public QObject {
    Q_OBJECT

public:
    TrayController(ContentView* contentView, QString mountRoot, std::function<void()> showPanel,
                   QObject* parent = nullptr);
    ~TrayController() override;

    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu* menu() const { return menu_.get(); }
    TrayStatus status() const { return status_; }

    /// Rebuilds the menu from the mount root and the panel's state; runs each time it opens.
    void refreshMenu();

signals:
    /// A notice went out to the user.
    void noticeShown(const quorvane::Notice& notice);

private:
    void panelChanged();
    void workflowFinished(Workflow workflow, const WorkflowResult& result);
    void rescanShares();
    void show(const TrayStatus& status);

    QPointer<ContentView> contentView_;
    QString mountRoot_;
    std::function<void()> showPanel_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QList<MountedShare> shares_;
    bool sharesLeftMounted_ = false;
    bool shown_ = false;
    TrayStatus status_;
};

}  // namespace quorvane
