#pragma once

#include <QString>
#include <string>

namespace quorvane {

/// Text from the server or the mount root as a menu item's label: control characters and
/// bidirectional marks escaped, and "&" doubled so that "R&D" shows as "R&D" rather than
/// "RD" with a shortcut.
QString menuText(const QString& text);

/// Text from a server or the engine within a notice: control characters, line breaks included,
/// escaped, so that it stays on its line and cannot pass for the program's own words.
QString serverText(const std::string& text);
QString serverText(const QString& text);

/// Text as the body of a desktop notification, which the notification service reads as
/// markup: control characters escaped except the line feeds between the notice's own lines,
/// and "&", "<" and ">" written as entities so that "<b>Missing" shows as written. Server text
/// within it comes through `serverText` first.
QString notificationBody(const QString& text);

}  // namespace quorvane
