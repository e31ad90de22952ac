#pragma once

#include <QString>

namespace quorvane {

/// What a logon at the desktop's login reads from the user settings. Each value is the user's
/// own where the user has set one, else the administrator's preset (the system-wide settings:
/// /etc/xdg/Quorvane/Quorvane.conf, the managed preferences on macOS), else its default.
struct AutoLogonSettings {
    bool enabled = false;  // "logOnAutomatically"
    QString server;        // "savedServerAddress", the panel's default server without one
    QString user;          // "savedUserName", kept only while the option is on
};

AutoLogonSettings readAutoLogonSettings();

/// The user's choice, which wins over a preset from then on. Turning it off forgets the
/// saved user name.
void setLogOnAutomatically(bool enabled);

/// Keeps the user name of a logon for the next login, while the option is on.
void saveLogonUser(const QString& user);

}  // namespace quorvane
