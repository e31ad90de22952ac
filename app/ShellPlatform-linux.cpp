#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <string>
#include <string_view>

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

bool hasDisplay(int argc, char** argv) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        for (const std::string_view option : {"-platform", "--platform"}) {
            if (argument == option ||
                argument.substr(0, option.size() + 1) == std::string(option) + "=") {
                return true;
            }
        }
    }
    return false;
}

}  // namespace quorvane
