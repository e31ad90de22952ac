#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include "ShellPlatform.h"
#include "TrayState.h"

namespace quorvane {

QIcon statusItemIcon(TrayState state) {
    QIcon icon = trayStateIcon(state, qApp->devicePixelRatio());
    // The menu bar draws a mask image in its own colour, light or dark.
    icon.setIsMask(true);
    return icon;
}

// A menu set on the status item would open on every click and take the click from the panel,
// so the menu is popped up only for the context gesture (right-click or control-click).
void attachTrayMenu(QSystemTrayIcon* icon, QMenu* menu) {
    QObject::connect(icon, &QSystemTrayIcon::activated, menu,
                     [menu](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Context) {
                             menu->popup(QCursor::pos());
                         }
                     });
}

// The window server is there in every session that can start a program with a menu bar.
bool hasDisplay(int, char**) {
    return true;
}

}  // namespace quorvane
