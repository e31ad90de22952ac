#pragma once

#include <QIcon>

namespace quorvane {

enum class TrayState;

/// The tray icon's image for `state`: the laptop artwork with the state's badge, a template
/// image where the system tints it.
QIcon statusItemIcon(TrayState state);

/// Keeps the program out of the Dock or taskbar.
void makeAccessoryApplication();

}  // namespace quorvane
