#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "Autostart.h"

// A launch agent of the user's own: launchd starts the program when the user logs in.
namespace quorvane {

namespace {

QString agentPath() {
    return QDir::homePath() + QStringLiteral("/Library/LaunchAgents/org.quorvane.Quorvane.plist");
}

QString escapedForXml(QString text) {
    return text.replace('&', QStringLiteral("&amp;"))
        .replace('<', QStringLiteral("&lt;"))
        .replace('>', QStringLiteral("&gt;"));
}

}  // namespace

bool isStartAtLoginEnabled() {
    return QFile::exists(agentPath());
}

bool setStartAtLogin(bool enabled) {
    const QString path = agentPath();
    if (!enabled) {
        return !QFile::exists(path) || QFile::remove(path);
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QString plist = QStringLiteral(
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                              "<plist version=\"1.0\">\n<dict>\n"
                              "    <key>Label</key>\n    <string>org.quorvane.Quorvane</string>\n"
                              "    <key>ProgramArguments</key>\n    <array>\n        "
                              "<string>%1</string>\n    </array>\n"
                              "    <key>RunAtLoad</key>\n    <true/>\n"
                              "</dict>\n</plist>\n")
                              .arg(escapedForXml(QCoreApplication::applicationFilePath()));
    file.write(plist.toUtf8());
    return file.commit();
}

}  // namespace quorvane
