#include <QGuiApplication>

#include "ShellPlatform.h"
#include "TrayState.h"

namespace quorvane {

QIcon statusItemIcon(TrayState state) {
    return trayStateIcon(state, qApp->devicePixelRatio());
}

// The pop-up window type already keeps the panel out of the taskbar.
void makeAccessoryApplication() {}

}  // namespace quorvane
