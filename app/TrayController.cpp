#include "TrayController.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "AutoRepair.h"
#include "Autostart.h"
#include "ContentView.h"
#include "DaemonEvents.h"
#include "Notifier.h"
#include "ShellPlatform.h"
#include "ShownText.h"
#include "StatusWords.h"
#include "SystemEvents.h"

namespace quorvane {

TrayController::TrayController(ContentView* contentView, QString mountRoot,
                               std::function<void()> showPanel, QObject* parent)
    : QObject(parent),
      contentView_(contentView),
      mountRoot_(std::move(mountRoot)),
      showPanel_(std::move(showPanel)),
      menu_(std::make_unique<QMenu>()),
      icon_(std::make_unique<QSystemTrayIcon>()) {
    menu_->setObjectName(QStringLiteral("trayMenu"));
    attachTrayMenu(icon_.get(), menu_.get());
    connect(menu_.get(), &QMenu::aboutToShow, this, &TrayController::refreshMenu);
    connect(contentView, &ContentView::stateChanged, this, &TrayController::panelChanged);
    connect(contentView, &ContentView::logonFinished, this,
            [this](const WorkflowResult& result) { workflowFinished(Workflow::logon, result); });
    connect(contentView, &ContentView::logoutFinished, this,
            [this](const WorkflowResult& result) { workflowFinished(Workflow::logout, result); });
    connect(contentView, &ContentView::reconnectFinished, this, [this] {
        rescanShares();
        health_->checkNow();
    });
    health_ = new ShareHealthWatch(mountRoot_, this);
    connect(health_, &ShareHealthWatch::checked, this, [this] {
        panelChanged();
        // Rebuilding an open menu would close it under the user's pointer: the icon and tool
        // tip tell at once, the menu once it has closed.
        if (menu_->isVisible()) {
            menuStale_ = true;
        } else {
            rebuildMenu();
        }
    });
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] {
        if (menuStale_) {
            menuStale_ = false;
            QTimer::singleShot(0, this, [this] { rebuildMenu(); });
        }
    });
    daemonEvents_ = new DaemonEvents(mountRoot_.toStdString(), this);
    connect(daemonEvents_, &DaemonEvents::changed, this, &TrayController::sharesChangedBehindUs);
    autoRepair_ = new AutoRepair(
        contentView, health_, showPanel_,
        [this](const Notice& notice) {
            showNotice(icon_.get(), notice);
            emit noticeShown(notice);
        },
        this);
    auto* events = new SystemEvents(this);
    connect(events, &SystemEvents::woke, autoRepair_, &AutoRepair::systemChanged);
    connect(events, &SystemEvents::networkChanged, autoRepair_, &AutoRepair::systemChanged);
    rescanShares();
    panelChanged();
    refreshMenu();
}

TrayController::~TrayController() = default;

void TrayController::sharesChangedBehindUs() {
    rescanShares();
    health_->noteQuickly();
    panelChanged();
    if (menu_->isVisible()) {
        menuStale_ = true;
    } else {
        rebuildMenu();
    }
    health_->checkNow();
}

void TrayController::rescanShares() {
    shares_ = mountedShares(mountRoot_);
    // Only the daemons of this mount root: others' ends are not this tray's news.
    std::map<std::string, pid_t> ours;
    const std::string below = mountRoot_.toStdString() + "/";
    for (const auto& [mountPoint, pid] : mountDaemonPids()) {
        if (mountPoint.rfind(below, 0) == 0) {
            ours[mountPoint] = pid;
        }
    }
    daemonEvents_->follow(ours);
    if (contentView_) {
        // Logout stays at hand for shares mounted by an earlier run too.
        contentView_->setHasMountedShares(!shares_.isEmpty());
    }
}

void TrayController::panelChanged() {
    if (!contentView_) {
        return;
    }
    TrayStatus status;
    status.mountedShares = static_cast<int>(shares_.size());
    status.brokenShares = brokenShares();
    contentView_->setHasBrokenShares(status.brokenShares > 0);
    if (contentView_->isLoading()) {
        status.state = TrayState::busy;
        status.loggingOut = contentView_->isLoggingOut();
    } else if (sharesLeftMounted_) {
        status.state = TrayState::sharesLeftMounted;
    } else if (status.brokenShares > 0) {
        status.state = TrayState::sharesBroken;
    } else if ((contentView_->isLoggedIn() && notMountedShares_ > 0) ||
               (!contentView_->isLoggedIn() && !shares_.isEmpty())) {
        // Shares mounted while the panel is not logged on (a logon that mounted the home
        // share and stopped, or shares from an earlier run) are never "logged off".
        status.state = TrayState::partlyLoggedOn;
        status.notMountedShares = notMountedShares_;
    } else if (contentView_->isLoggedIn()) {
        status.state = TrayState::loggedOn;
    }
    show(status);
}

void TrayController::show(const TrayStatus& status) {
    if (shown_ && status == status_) {
        return;
    }
    if (!shown_ || status.state != status_.state) {
        icon_->setIcon(statusItemIcon(status.state));
    }
    icon_->setToolTip(trayToolTip(status));
    status_ = status;
    shown_ = true;
}

void TrayController::workflowFinished(Workflow workflow, const WorkflowResult& result) {
    rescanShares();
    QStringList names;
    for (const MountedShare& share : shares_) {
        names.append(share.name);
    }
    // Only a logout that left shares mounted shows the warning; the next workflow clears it.
    sharesLeftMounted_ =
        workflow == Workflow::logout && result.outcome != Outcome::Succeeded && !names.isEmpty();
    // A logon that left shares out is told apart from a full one until the next workflow;
    // an unreadable share map counts as one left out.
    if (workflow == Workflow::logon &&
        (result.outcome == Outcome::PartlyDone ||
         (result.outcome != Outcome::Succeeded && !names.isEmpty()))) {
        notMountedShares_ = qMax(1, static_cast<int>(result.notMounted.size()));
    } else {
        notMountedShares_ = 0;
    }
    panelChanged();
    health_->checkNow();
    const QString message = QString::fromStdString(result.message);
    if (workflow == Workflow::logon && result.passwordNeeded) {
        return;  // the panel opens and asks; a notice would only repeat it
    }
    if (workflow == Workflow::logon && result.serverAway) {
        return;  // not a failure: AutoRepair says once that the shares come with the network
    }
    if (const std::optional<Notice> notice =
            noticeFor(workflow, result.outcome, message, names, result.notMounted)) {
        showNotice(icon_.get(), *notice);
        emit noticeShown(*notice);
    }
}

int TrayController::brokenShares() const {
    int broken = 0;
    for (const MountedShare& share : shares_) {
        const auto found = health_ ? health_->conditions().find(share.name)
                                   : QMap<QString, ShareCondition>::const_iterator();
        broken += health_ && found != health_->conditions().end() && isBroken(*found) ? 1 : 0;
    }
    return broken;
}

void TrayController::refreshMenu() {
    rescanShares();
    health_->noteQuickly();
    rebuildMenu();
    health_->checkNow();
}

void TrayController::rebuildMenu() {
    panelChanged();
    menu_->clear();

    if (shares_.isEmpty()) {
        menu_->addAction(tr("No shares mounted"))->setEnabled(false);
    }
    for (const MountedShare& share : shares_) {
        const auto found = health_->conditions().find(share.name);
        // A share whose daemon cannot be asked is not shown as working either.
        const bool toldApart = found != health_->conditions().end() &&
                               (isBroken(*found) || *found == ShareCondition::Unknown);
        QAction* open = menu_->addAction(menuText(
            toldApart ? share.name + QStringLiteral(" — ") + conditionWords(*found) : share.name));
        open->setObjectName(QStringLiteral("share:") + share.name);
        open->setToolTip(tr("Open %1").arg(share.folder));
        const QUrl url = QUrl::fromLocalFile(share.folder);
        connect(open, &QAction::triggered, this, [url] { QDesktopServices::openUrl(url); });
    }
    menu_->addSeparator();

    const bool busy = contentView_ && contentView_->isLoading();
    const bool loggedOn = contentView_ && contentView_->isLoggedIn();
    if (brokenShares() > 0) {
        QAction* reconnect = menu_->addAction(tr("Reconnect"));
        reconnect->setObjectName(QStringLiteral("reconnectAction"));
        reconnect->setToolTip(tr("Mount the shares that do not work again"));
        reconnect->setEnabled(!busy);
        connect(reconnect, &QAction::triggered, this, [this] {
            if (contentView_) {
                contentView_->startReconnect();
            }
        });
    }
    QAction* logon = menu_->addAction(tr("Logon…"));
    logon->setObjectName(QStringLiteral("logonAction"));
    logon->setEnabled(!busy && !loggedOn);
    // After the menu has closed, so that the pop-up is not taken for a click outside it.
    connect(logon, &QAction::triggered, this,
            [this] { QTimer::singleShot(0, this, [this] { showPanel_(); }); });

    QAction* logout = menu_->addAction(tr("Logout"));
    logout->setObjectName(QStringLiteral("logoutAction"));
    // Also after a restart, when shares are still mounted but the panel starts logged off.
    logout->setEnabled(!busy && (loggedOn || !shares_.isEmpty()));
    connect(logout, &QAction::triggered, this, [this] {
        if (contentView_ && !contentView_->isLoading()) {
            contentView_->startLogout();
        }
    });
    menu_->addSeparator();

    QAction* startAtLogin = menu_->addAction(tr("Start at login"));
    startAtLogin->setObjectName(QStringLiteral("startAtLoginAction"));
    startAtLogin->setCheckable(true);
    startAtLogin->setChecked(isStartAtLoginEnabled());
    connect(startAtLogin, &QAction::toggled, this, [startAtLogin](bool enabled) {
        setStartAtLogin(enabled);
        // Shows what holds now, also when the user's entry could not be written.
        const QSignalBlocker blocker(startAtLogin);
        startAtLogin->setChecked(isStartAtLoginEnabled());
    });
    menu_->addSeparator();

    QAction* quit = menu_->addAction(tr("Quit"));
    quit->setObjectName(QStringLiteral("quitAction"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
}

}  // namespace quorvane
