#pragma once

#include "Notices.h"

class QSystemTrayIcon;

namespace quorvane {

inline constexpr int kNoticeShownMs = 8000;

/// Shows `notice` through the desktop's notification service where there is one, otherwise
/// as a message of `trayIcon` (when there is a tray icon). Asks the bus whether the service
/// is there, but never waits for the service itself.
void showNotice(QSystemTrayIcon* trayIcon, const Notice& notice);

}  // namespace quorvane
