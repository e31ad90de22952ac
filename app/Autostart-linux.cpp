#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include "Autostart.h"

// XDG autostart: an entry "autostart/quorvane.desktop" in the user's configuration folder
// overrides the one of the same name in the system folders (the package installs it in
// /etc/xdg); an entry with Hidden=true counts as absent.
namespace quorvane {

namespace {

const QString kEntry = QStringLiteral("autostart/quorvane.desktop");

QString userEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' + kEntry;
}

/// The entry that applies: the user's, else the first system one; empty when there is none.
QString effectiveEntryPath() {
    for (const QString& folder :
         QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation)) {
        const QString path = folder + '/' + kEntry;
        if (QFile::exists(path)) {
            return path;
        }
    }
    return {};
}

bool isTrue(const QString& value) {
    return value.trimmed().compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
}

bool entryStartsProgram(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    bool inMainGroup = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const int equals = line.indexOf('=');
        if (!inMainGroup || equals < 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1);
        if ((key == QStringLiteral("Hidden") && isTrue(value)) ||
            (key == QStringLiteral("X-GNOME-Autostart-enabled") && !isTrue(value))) {
            return false;
        }
    }
    return true;
}

// The Exec key's quoting: the path in double quotes, with ", `, $ and \ escaped.
QString quotedForExec(const QString& path) {
    QString quoted;
    for (const QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return '"' + quoted + '"';
}

bool writeUserEntry(bool hidden) {
    const QString path = userEntryPath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Quorvane\n"
        << "Comment=Tray icon for logging on to the file shares of your domain server\n"
        << "Exec=" << quotedForExec(QCoreApplication::applicationFilePath()) << " --autostart\n"
        << "Icon=quorvane\n"
        << "Terminal=false\n"
        << "NoDisplay=true\n";
    if (hidden) {
        out << "Hidden=true\n";
    }
    out.flush();
    return file.commit();
}

}  // namespace

bool isStartAtLoginEnabled() {
    const QString path = effectiveEntryPath();
    return !path.isEmpty() && entryStartsProgram(path);
}

bool setStartAtLogin(bool enabled) {
    if (!enabled) {
        return isStartAtLoginEnabled() ? writeUserEntry(true) : true;
    }
    const QString user = userEntryPath();
    if (QFile::exists(user) && !QFile::remove(user)) {
        return false;
    }
    // Without the user's override the system entry applies again, if there is one.
    return isStartAtLoginEnabled() || writeUserEntry(false);
}

}  // namespace quorvane
