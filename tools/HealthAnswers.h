#pragma once

#include <atomic>
#include <thread>

#include "WorkerPool.h"

// The daemon's side of the health question (engine/HealthProtocol.h): whether its server still
// answers and still takes its logon, found by a logon of its own on a fresh connection, so the
// program need not touch the mount to know. The same socket takes a new password from the
// user's next logon, once the server has taken it.
namespace quorvane::tools {

class HealthAnswers {
public:
    /// Listens from now on; without a socket (name taken) the daemon simply cannot be asked.
    /// The check logs on with the login `workers` hold now; a new login given on the socket
    /// goes to them (WorkerPool::replaceLogin).
    explicit HealthAnswers(WorkerPool& workers);
    ~HealthAnswers();
    HealthAnswers(const HealthAnswers&) = delete;
    HealthAnswers& operator=(const HealthAnswers&) = delete;

private:
    void answer(int connection);
    /// The answer to a check with `login`.
    std::string verdictFor(const SmbLogin& login) const;

    WorkerPool& workers_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quorvane::tools
