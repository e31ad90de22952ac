#include "AppDelegate.h"

#include <QGuiApplication>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "AccessibleApplication.h"
#include "ContentView.h"
#include "MountedShares.h"
#include "PanelPlatform.h"
#include "Popover.h"
#include "ShellPlatform.h"
#include "TrayController.h"

namespace quorvane {

namespace {
const QString kFirstLaunchKey = QStringLiteral("hasLaunchedBefore");
}  // namespace

AppDelegate::AppDelegate(Workflows workflows, TrayMode trayMode, QObject* parent)
    : QObject(parent), workflows_(std::move(workflows)), trayMode_(trayMode) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    bool useTray = trayMode_ == TrayMode::tray;
    if (trayMode_ == TrayMode::detect) {
        useTray = QSystemTrayIcon::isSystemTrayAvailable();
        if (!useTray && trayWaitMs_ > 0) {
            trayWaitMs_ -= kTrayPollMs;
            QTimer::singleShot(kTrayPollMs, this, &AppDelegate::applicationDidFinishLaunching);
            return;
        }
    }

    installApplicationAccessibility();
    auto* contentView = new ContentView(workflows_);
    contentView_ = contentView;
    connect(contentView, &ContentView::userNeeded, this, &AppDelegate::showPanel);
    // Shares mounted by an earlier run can be released at once.
    contentView->setHasMountedShares(!mountedShares(userMountRoot()).isEmpty());

    if (useTray) {
        popover_ = std::make_unique<Popover>(contentView);
        contentView->setPopover(popover_.get());

        trayController_ =
            std::make_unique<TrayController>(contentView, userMountRoot(), [this] { showPanel(); });
        connect(statusItem(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger) {
                        togglePopover();
                    }
                });
        statusItem()->show();
    } else {
        // Without a tray nothing could ever open a pop-up: keep the program usable as a window.
        panelWindow_ = std::make_unique<QWidget>();
        panelWindow_->setObjectName(QStringLiteral("panelWindow"));
        panelWindow_->setWindowTitle(panelTitle());
        auto* layout = new QVBoxLayout(panelWindow_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(contentView);
        std::printf("No system tray found; showing the logon panel as a window.\n");
        std::fflush(stdout);
        // Closing the only way in ends the program rather than leaving it running unseen.
        QGuiApplication::setQuitOnLastWindowClosed(true);
        panelWindow_->show();
    }

    QSettings settings;
    if (!settings.value(kFirstLaunchKey, false).toBool()) {
        // Tied to this delegate: once it is gone the timer does nothing.
        QTimer::singleShot(kFirstLaunchDelayMs, this, &AppDelegate::showPopover);
        settings.setValue(kFirstLaunchKey, true);
        settings.sync();  // on disk at once: a quit within the half second must not undo it
    }
    if (logOnAtStart_ && contentView->logsOnAutomatically()) {
        contentView->startAutoLogon();
    }
}

void AppDelegate::togglePopover() {
    if (!popover_) {
        return;
    }
    if (popover_->isVisible()) {
        popover_->close();
    } else if (!popover_->justClosedByOutsideClick()) {
        showPopover();
    }
}

void AppDelegate::showPopover() {
    if (!trayController_ || !popover_) {
        return;
    }
    popover_->showAt(statusItem()->geometry());
}

void AppDelegate::showPanel() {
    if (popover_) {
        if (!popover_->isVisible()) {
            showPopover();
        }
        return;
    }
    if (panelWindow_) {
        panelWindow_->show();
        panelWindow_->raise();
        panelWindow_->activateWindow();
    }
}

QSystemTrayIcon* AppDelegate::statusItem() const {
    return trayController_ ? trayController_->icon() : nullptr;
}

}  // namespace quorvane
