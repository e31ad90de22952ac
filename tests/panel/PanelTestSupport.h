#pragma once

// Shared by the panel and shell tests: settings in a temporary folder, and stand-in workflows
// that record what they were given, wait as long as a test asks, and answer a chosen message.

#include <QCoreApplication>
#include <QSemaphore>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <mutex>

#include "Workflows.h"

namespace quorvane::test {

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

struct StandIn {
    struct Calls {
        std::mutex mutex;
        QStringList logonArguments;
        std::atomic<int> logons{0};
        std::atomic<int> logouts{0};
        std::atomic<int> finished{0};
    };

    QString logonMessage =
        QStringLiteral("Logon workflow finished. Shares mapped under ~/smbmounts/");
    QString logoutMessage = QStringLiteral("Successfully disconnected 2 drive(s).");
    Outcome logonOutcome = Outcome::Succeeded;
    Outcome logoutOutcome = Outcome::Succeeded;
    /// What stays mounted after each workflow, as the engine would report it.
    std::vector<std::string> mountedAfterLogon{"alice"};
    std::vector<std::string> mountedAfterLogout;
    int delayMs = 0;
    /// When set, each workflow waits until the test releases one permit.
    std::shared_ptr<QSemaphore> gate;
    std::shared_ptr<Calls> calls = std::make_shared<Calls>();

    Workflows workflows() const {
        Workflows result;
        result.logon =
            [outcome = WorkflowResult{logonOutcome, logonMessage.toStdString(), mountedAfterLogon},
             delay = delayMs, gate = gate,
             calls = calls](const QString& server, const QString& user, const QString& password) {
                {
                    std::lock_guard<std::mutex> lock(calls->mutex);
                    calls->logonArguments = QStringList{server, user, password};
                }
                ++calls->logons;
                wait(delay, gate);
                ++calls->finished;
                return outcome;
            };
        result.logout = [outcome = WorkflowResult{logoutOutcome, logoutMessage.toStdString(),
                                                  mountedAfterLogout},
                         delay = delayMs, gate = gate, calls = calls] {
            ++calls->logouts;
            wait(delay, gate);
            ++calls->finished;
            return outcome;
        };
        return result;
    }

    QStringList lastLogonArguments() const {
        std::lock_guard<std::mutex> lock(calls->mutex);
        return calls->logonArguments;
    }

private:
    static void wait(int delayMs, const std::shared_ptr<QSemaphore>& gate) {
        if (delayMs > 0) {
            QThread::msleep(static_cast<unsigned long>(delayMs));
        }
        if (gate) {
            gate->acquire();
        }
    }
};

/// Lets every worker still running end, so that none outlives its test.
inline void drainWorkers() {
    QThreadPool::globalInstance()->waitForDone();
}

}  // namespace quorvane::test
