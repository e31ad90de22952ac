#pragma once

#include <QString>

namespace quorvane {

/// Text from the server or the mount root as a menu item's label: control characters and
/// bidirectional marks escaped, and "&" doubled so that "R&D" shows as "R&D" rather than
/// "RD" with a shortcut.
QString menuText(const QString& text);

/// Text as the body of a desktop notification, which the notification service reads as
/// markup: control characters escaped, and "&", "<" and ">" written as entities so that
/// "<b>Missing" shows as written.
QString notificationBody(const QString& text);

}  // namespace quorvane
