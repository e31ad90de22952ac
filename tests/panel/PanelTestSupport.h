#pragma once

// Shared by the panel and shell tests: stand-in workflows that record what they were given,
// wait as long as a test asks, and answer a chosen message.

#include <QLineEdit>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

#include "ContentView.h"
#include "QtTestSupport.h"
#include "Workflows.h"

namespace quorvane::testing {

inline const std::string kLogonInterrupted = "Logon stopped. Shares mounted before stay mounted.";

/// Types `user`, `password` and, unless empty, `server` into the panel and starts the logon.
inline void typeAndLogOn(ContentView* view, const QString& user = QStringLiteral("alice"),
                         const QString& password = QStringLiteral("pw"),
                         const QString& server = QString()) {
    const auto field = [view](const char* name) {
        return view->findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    if (!server.isEmpty()) {
        field("serverField")->setText(server);
    }
    field("usernameField")->setText(user);
    field("passwordField")->setText(password);
    view->startLogon();
}

struct StandIn {
    struct Calls {
        std::mutex mutex;
        QStringList logonArguments;
        std::atomic<int> logons{0};
        std::atomic<bool> remembered{false};  // by the last logon
        std::atomic<int> logouts{0};
        QStringList reconnectPasswords;
        QStringList autoLogonArguments;  // server and user of the last automatic logon
        std::atomic<int> autoLogons{0};
        std::atomic<int> finished{0};
        std::atomic<bool> cancelled{false};
    };

    QString logonMessage =
        QStringLiteral("Logon workflow finished. Shares mapped under ~/smbmounts/");
    QString logoutMessage = QStringLiteral("Successfully disconnected 2 drive(s).");
    Outcome logonOutcome = Outcome::Succeeded;
    Outcome logoutOutcome = Outcome::Succeeded;
    QString reconnectMessage = QStringLiteral("Reconnected 1 share(s).");
    /// What the reconnect says of the password, first to last; the last one stays.
    std::vector<WorkflowResult::Password> reconnectVerdicts;
    /// What stays mounted after each workflow, as the engine would report it.
    std::vector<std::string> mountedAfterLogon{"alice"};
    std::vector<std::string> mountedAfterLogout;
    std::vector<ShareProblem> notMountedAfterLogon;
    /// What the server said of the logon's password.
    WorkflowResult::Password logonPassword = WorkflowResult::Password::NotAsked;
    int delayMs = 0;
    /// Prints "stand-in: logon" (or logout) when a workflow ends, for the scripts that drive
    /// the stand-in program.
    bool announce = false;
    /// When set, each workflow waits until the test releases one permit.
    std::shared_ptr<QSemaphore> gate;
    std::shared_ptr<Calls> calls = std::make_shared<Calls>();
    /// What the automatic logon answers.
    WorkflowResult autoLogonResult{
        Outcome::Succeeded, "Logon workflow finished. Shares mapped under ~/smbmounts/", {"alice"}};
    /// When set, what the automatic logons answer, first to last; `autoLogonResult` after them.
    std::vector<WorkflowResult> firstAutoLogonResults;
    /// How the panel finds the user's Kerberos ticket; none when empty.
    std::function<std::optional<KerberosTicket>()> findTicket;

    Workflows workflows() const {
        Workflows result;
        result.logon = [outcome =
                            WorkflowResult{logonOutcome, logonMessage.toStdString(),
                                           mountedAfterLogon, notMountedAfterLogon, logonPassword},
                        delay = delayMs, gate = gate, calls = calls,
                        announce = announce](const QString& server, const QString& user,
                                             const QString& password, bool remember) {
            {
                std::lock_guard<std::mutex> lock(calls->mutex);
                calls->logonArguments = QStringList{server, user, password};
            }
            calls->remembered = remember;
            ++calls->logons;
            wait(delay, gate);
            finish(*calls, announce ? "logon" : nullptr);
            if (calls->cancelled.exchange(false)) {
                return WorkflowResult{Outcome::Interrupted, kLogonInterrupted, {}};
            }
            return outcome;
        };
        // Stops a logon held at the gate, as the engine's would stop its tool.
        result.cancel = [gate = gate, calls = calls] {
            calls->cancelled = true;
            if (gate) {
                gate->release();
            }
        };
        result.logout = [outcome = WorkflowResult{logoutOutcome, logoutMessage.toStdString(),
                                                  mountedAfterLogout},
                         delay = delayMs, gate = gate, calls = calls, announce = announce] {
            ++calls->logouts;
            wait(delay, gate);
            finish(*calls, announce ? "logout" : nullptr);
            return outcome;
        };
        result.findTicket = findTicket;
        result.autoLogon = [outcome = autoLogonResult, first = firstAutoLogonResults,
                            calls = calls](const QString& server, const QString& user) {
            std::lock_guard<std::mutex> lock(calls->mutex);
            calls->autoLogonArguments = QStringList{server, user};
            const size_t run = static_cast<size_t>(calls->autoLogons++);
            return run < first.size() ? first[run] : outcome;
        };
        // A verdict of NotAsked or Refused releases nothing and asks for the password.
        result.reconnect = [outcome =
                                WorkflowResult{Outcome::Succeeded, reconnectMessage.toStdString(),
                                               mountedAfterLogon},
                            verdicts = reconnectVerdicts, calls = calls](const QString& password) {
            std::lock_guard<std::mutex> lock(calls->mutex);
            calls->reconnectPasswords.append(password);
            WorkflowResult result = outcome;
            if (!verdicts.empty()) {
                const size_t run = static_cast<size_t>(calls->reconnectPasswords.size()) - 1;
                result.password = verdicts[std::min(run, verdicts.size() - 1)];
                if (result.password != WorkflowResult::Password::Taken) {
                    result.outcome = Outcome::Failed;
                    result.passwordNeeded = true;
                    result.message = "Nothing was released.";
                }
            }
            return result;
        };
        return result;
    }

    QStringList reconnectPasswords() const {
        std::lock_guard<std::mutex> lock(calls->mutex);
        return calls->reconnectPasswords;
    }

    QStringList lastLogonArguments() const {
        std::lock_guard<std::mutex> lock(calls->mutex);
        return calls->logonArguments;
    }

private:
    static void finish(Calls& calls, const char* announced) {
        ++calls.finished;
        if (announced != nullptr) {
            std::printf("stand-in: %s\n", announced);
            std::fflush(stdout);
        }
    }
    static void wait(int delayMs, const std::shared_ptr<QSemaphore>& gate) {
        if (delayMs > 0) {
            QThread::msleep(static_cast<unsigned long>(delayMs));
        }
        if (gate) {
            gate->acquire();
        }
    }
};

}  // namespace quorvane::testing
