#pragma once

#include <QIcon>

class QMenu;
class QSystemTrayIcon;

namespace quorvane {

enum class TrayState;

/// The tray icon's image for `state`: the laptop artwork with the state's badge, a template
/// image where the system tints it.
QIcon statusItemIcon(TrayState state);

/// Makes `menu` the tray icon's menu for the platform's menu gesture, leaving a plain click to
/// the panel.
void attachTrayMenu(QSystemTrayIcon* icon, QMenu* menu);

/// Whether the toolkit can find a display to start on: the platform's window system, or a
/// platform named by "-platform" or QT_QPA_PLATFORM. Without one, QApplication would abort.
bool hasDisplay(int argc, char** argv);

}  // namespace quorvane
