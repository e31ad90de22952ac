#pragma once

#include <QIcon>

namespace quorvane {

/// The tray icon's image: the laptop artwork, a template image where the system tints it.
QIcon statusItemIcon();

/// Keeps the program out of the Dock or taskbar.
void makeAccessoryApplication();

}  // namespace quorvane
