#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "PasswordPacing.h"
#include "WorkerPool.h"

// The daemon's side of the health question (engine/HealthProtocol.h): whether its server still
// answers and still takes its logon, found by a logon of its own on a fresh connection, so the
// program need not touch the mount to know. The same socket takes a new password from the
// user's next logon, once the server has taken it; those are paced (PasswordPacing.h) on a
// thread of their own, so that checks are answered meanwhile.
namespace quorvane::tools {

class HealthAnswers {
public:
    /// Listens from now on, on this daemon's socket in the user's private folder; without one
    /// the daemon simply cannot be asked. The check logs on with the login `workers` hold now;
    /// a new login given on the socket goes to them (WorkerPool::replaceLogin).
    explicit HealthAnswers(WorkerPool& workers);
    ~HealthAnswers();
    HealthAnswers(const HealthAnswers&) = delete;
    HealthAnswers& operator=(const HealthAnswers&) = delete;

private:
    struct PasswordQuestion {
        int connection;
        std::string password;
    };

    void answer(int connection);
    void answerPasswords();
    void answerPassword(PasswordQuestion& question);
    /// The answer to a check with `login`.
    std::string verdictFor(const SmbLogin& login) const;
    /// The answer to a check with the login the workers hold, unless it is known refused.
    std::string verdictForHeldLogin() const;

    WorkerPool& workers_;
    std::string socketPath_;
    std::string troublePath_;  // made by the workers (ShareSession::markTroubleAt)
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    std::mutex passwordsHeld_;
    std::condition_variable passwordsChanged_;
    std::deque<PasswordQuestion> passwords_;
    PasswordPacing pacing_;
    // Which login the server refused at a check: it is not tried again by a check, as every
    // try counts towards the account's lockout, until a new password is handed over.
    std::atomic<unsigned> loginGeneration_{0};
    std::atomic<unsigned> refusedGeneration_{~0u};
    std::thread passwordThread_;
};

}  // namespace quorvane::tools
