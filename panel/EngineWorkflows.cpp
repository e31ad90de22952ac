#include <AutoLogon.h>
#include <SMBManager.h>
#include <SecretStore.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

#include "DesktopSecretStore.h"
#include "Workflows.h"

namespace quorvane {

namespace {

// The stop requests of the workflows: each logon or reconnect gets an interruption of its
// own, so that a cancelled logon does not stop the next one; once the program quits, every
// workflow that still starts is stopped at once.
class StopRequests {
public:
    std::shared_ptr<Interruption> begin() {
        auto interruption = std::make_shared<Interruption>();
        std::lock_guard<std::mutex> lock(mutex_);
        if (quitting_) {
            interruption->raise();
        }
        running_ = interruption;
        return interruption;
    }
    void end(const std::shared_ptr<Interruption>& interruption) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_ == interruption) {
            running_.reset();
        }
    }
    void cancelRunning() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_) {
            running_->raise();
        }
    }
    void quit() {
        std::lock_guard<std::mutex> lock(mutex_);
        quitting_ = true;
        if (running_) {
            running_->raise();
        }
    }

private:
    std::mutex mutex_;
    std::shared_ptr<Interruption> running_;
    bool quitting_ = false;
};

// Runs `work` with an SMBManager whose tools stop on the run's own interruption.
template <typename Work>
WorkflowResult interruptible(StopRequests& stops, SecretStore* secrets, Work work) {
    const std::shared_ptr<Interruption> interruption = stops.begin();
    EngineConfig config = EngineConfig::platformDefault();
    config.interruption = interruption.get();
    config.secrets = secrets;
    WorkflowResult result = work(SMBManager(config));
    stops.end(interruption);
    return result;
}

}  // namespace

Workflows engineWorkflows(std::shared_ptr<SecretStore> secrets) {
    // SMBManager holds only its configuration, so each call makes its own: nothing is shared
    // between the worker threads but the stop requests, which are made for that, and the
    // secret store, which keeps no state between calls.
    auto stops = std::make_shared<StopRequests>();
    if (!secrets) {
        secrets = std::make_shared<DesktopSecretStore>();
    }
    Workflows workflows;
    workflows.logon = [stops, secrets](const QString& serverText, const QString& userName,
                                       const QString& password, bool remember) {
        const std::string server = serverText.toStdString();
        const std::string user = userName.toStdString();
        std::string secret = password.toStdString();
        WorkflowResult result = interruptible(
            *stops, secrets.get(),
            [&](const SMBManager& manager) { return manager.logon(server, user, secret); });
        if (const auto problem =
                keepPasswordOfLogon(secrets.get(), server, user, secret, remember, result)) {
            result.message += " " + *problem;
        }
        wipeSecret(secret);
        return result;
    };
    // Logout takes no stop request: once asked for, it releases what it can, within its
    // bounds, rather than leave shares half released.
    workflows.logout = [secrets] {
        forgetKeptPassword(secrets.get());
        return SMBManager().logout();
    };
    workflows.logoutWithin = [](std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        // A kept password stays for the next login's logon: the user chose nothing.
        EngineConfig config = EngineConfig::platformDefault();
        config.unmountTimeLimit = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               deadline - std::chrono::steady_clock::now()),
                                           std::chrono::milliseconds(100));
        config.stopGrace = std::chrono::milliseconds(0);  // no time left to ask twice
        return SMBManager(config).logout(true);
    };
    workflows.autoLogon = [stops, secrets](const QString& serverText, const QString& userName) {
        AutoLogonPlan plan =
            planAutoLogon(serverText.toStdString(), userName.toStdString(), secrets.get(),
                          findKerberosTicket(EngineConfig::platformDefault().ticketLister));
        if (plan.credential == AutoLogonPlan::Credential::None) {
            WorkflowResult result;
            result.message = plan.problem;
            result.passwordNeeded = true;
            return result;
        }
        return interruptible(*stops, secrets.get(), [&](const SMBManager& manager) {
            return runAutoLogon(manager, std::move(plan), secrets.get());
        });
    };
    workflows.reconnect = [stops, secrets](const QString& password) {
        return interruptible(*stops, secrets.get(), [&](const SMBManager& manager) {
            return manager.reconnect(password.toStdString());
        });
    };
    workflows.cancel = [stops] { stops->cancelRunning(); };
    workflows.stop = [stops] { stops->quit(); };
    workflows.findTicket = [] {
        return findKerberosTicket(EngineConfig::platformDefault().ticketLister);
    };
    return workflows;
}

}  // namespace quorvane
