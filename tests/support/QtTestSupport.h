#pragma once

// For the tests of the Qt parts: settings in a temporary folder, and no worker thread that
// outlives its test.

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QThreadPool>

namespace quorvane::testing {

/// Points the user settings at a folder of their own for the life of the test program.
class TemporarySettings {
public:
    TemporarySettings() {
        QCoreApplication::setOrganizationName(QStringLiteral("QuorvaneTest"));
        QCoreApplication::setApplicationName(QStringLiteral("QuorvaneTest"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }
    static void clear() {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

private:
    QTemporaryDir dir_;
};

/// Lets every worker still running end, so that none outlives its test.
inline void drainWorkers() {
    QThreadPool::globalInstance()->waitForDone();
}

}  // namespace quorvane::testing
