#include "LogonSettings.h"

#include <QSettings>

#include "ContentView.h"

namespace quorvane {

namespace {
const QString kLogOnAutomaticallyKey = QStringLiteral("logOnAutomatically");
const QString kSavedServerKey = QStringLiteral("savedServerAddress");
const QString kSavedUserKey = QStringLiteral("savedUserName");
}  // namespace

AutoLogonSettings readAutoLogonSettings() {
    // QSettings falls back on the system-wide file for a key the user's file lacks.
    const QSettings settings;
    AutoLogonSettings read;
    read.enabled = settings.value(kLogOnAutomaticallyKey, false).toBool();
    read.server = settings.contains(kSavedServerKey) ? settings.value(kSavedServerKey).toString()
                                                     : ContentView::kDefaultServerAddress;
    read.user = read.enabled ? settings.value(kSavedUserKey).toString() : QString();
    return read;
}

void setLogOnAutomatically(bool enabled) {
    QSettings settings;
    settings.setValue(kLogOnAutomaticallyKey, enabled);
    if (!enabled) {
        settings.remove(kSavedUserKey);
    }
}

void saveLogonUser(const QString& user) {
    QSettings settings;
    if (settings.value(kLogOnAutomaticallyKey, false).toBool() && !user.isEmpty()) {
        settings.setValue(kSavedUserKey, user);
    }
}

}  // namespace quorvane
