#include <QSystemTrayIcon>

#include "Notifier.h"

// Qt hands the tray icon's messages to the system's notification centre.
namespace quorvane {

void showNotice(QSystemTrayIcon* trayIcon, const Notice& notice) {
    if (trayIcon) {
        trayIcon->showMessage(
            notice.title, notice.body,
            notice.isWarning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
            kNoticeShownMs);
    }
}

}  // namespace quorvane
