#include <QGuiApplication>

#include "ShellPlatform.h"
#include "TrayState.h"

namespace quorvane {

QIcon statusItemIcon(TrayState state) {
    QIcon icon = trayStateIcon(state, qApp->devicePixelRatio());
    // The menu bar draws a mask image in its own colour, light or dark.
    icon.setIsMask(true);
    return icon;
}

// LSUIElement in the bundle's Info.plist makes this an accessory application: no Dock icon and
// no menu bar of its own.
void makeAccessoryApplication() {}

}  // namespace quorvane
