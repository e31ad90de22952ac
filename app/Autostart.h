#pragma once

namespace quorvane {

/// Whether the program starts in the tray when this user logs on to the desktop.
bool isStartAtLoginEnabled();

/// Turns start at login on or off for this user only. False, with nothing changed, when the
/// user's entry cannot be written or removed.
bool setStartAtLogin(bool enabled);

}  // namespace quorvane
