#include <QGuiApplication>
#include <QSystemTrayIcon>

#include "ShellPlatform.h"
#include "TrayState.h"

namespace quorvane {

QIcon statusItemIcon(TrayState state) {
    return trayStateIcon(state, qApp->devicePixelRatio());
}

// Trays show the context menu on a right-click and report a left click as a trigger.
void attachTrayMenu(QSystemTrayIcon* icon, QMenu* menu) {
    icon->setContextMenu(menu);
}

}  // namespace quorvane
