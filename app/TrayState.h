#pragma once

#include <QIcon>
#include <QString>

namespace quorvane {

/// What the tray icon shows. Each state has its own badge shape on the laptop, so the states
/// differ without colour too (the macOS menu bar draws the icon in one colour).
enum class TrayState {
    loggedOff,
    busy,
    loggedOn,
    partlyLoggedOn,  // logged on, but some of the user's shares could not be mounted
    sharesLeftMounted,
    sharesBroken
};

struct TrayStatus {
    TrayState state = TrayState::loggedOff;
    bool loggingOut = false;  // while busy: a logout rather than a logon
    int mountedShares = 0;
    int brokenShares = 0;      // of the mounted ones: mounted, but not working
    int notMountedShares = 0;  // what the last logon could not mount

    bool operator==(const TrayStatus& other) const {
        return state == other.state && loggingOut == other.loggingOut &&
               mountedShares == other.mountedShares && brokenShares == other.brokenShares &&
               notMountedShares == other.notMountedShares;
    }
    bool operator!=(const TrayStatus& other) const { return !(*this == other); }
};

/// The tool tip: the icon's name followed by the state in words.
QString trayToolTip(const TrayStatus& status);

/// The laptop with the state's badge, as an icon with the usual tray sizes.
QIcon trayStateIcon(TrayState state, qreal devicePixelRatio);

}  // namespace quorvane
