#pragma once

#include <QStringList>

namespace quorvane {

enum class LaunchMode { commandLine, gui };

/// What the program's arguments ask for. A command word (logon, logout, status, help) or
/// --help / --version means the command line, which runs without a window system; no
/// arguments, or arguments that begin with "-", start the tray icon, whose QApplication takes
/// the standard Qt options (-platform, -style, ...).
LaunchMode launchModeFor(int argc, char** argv);

/// The first argument that is neither a standard Qt option (nor its value) nor the tray's
/// own, for a usage error before the toolkit starts; nothing when all are known.
const char* unknownTrayOption(int argc, char** argv);

/// The option of the autostart entry: the program was started at login.
inline const QString kAutostartOption = QStringLiteral("--autostart");

}  // namespace quorvane
