#pragma once

#include <QStringList>

namespace quorvane {

enum class LaunchMode { commandLine, gui };

/// What the program's arguments ask for. A command word (logon, logout, status, help) or
/// --help / --version means the command line, which runs without a window system; no
/// arguments, or arguments that begin with "-", start the tray icon, whose QApplication takes
/// the standard Qt options (-platform, -style, ...).
LaunchMode launchModeFor(int argc, char** argv);

/// The arguments that QApplication left over; each is an unknown option of the GUI.
QStringList unknownGuiArguments(const QStringList& applicationArguments);

}  // namespace quorvane
