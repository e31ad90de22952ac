#pragma once

#include <chrono>
#include <deque>

// How often a mount daemon lets new passwords reach the server. Each refusal makes the next
// answer wait longer, and after a few refusals in a while none is tried at all: the server
// counts each as a failed logon and locks the account after a handful.
namespace quorvane::tools {

class PasswordPacing {
public:
    using Clock = std::chrono::steady_clock;

    /// Refusals by the server within kWindow after which no password is tried.
    static constexpr int kMostTries = 3;
    static constexpr std::chrono::minutes kWindow{15};
    /// The wait after one refusal; it doubles with each refusal in a row, up to kLongestWait.
    static constexpr std::chrono::seconds kFirstWait{1};
    static constexpr std::chrono::seconds kLongestWait{4};

    /// When the next password may be answered (tried or refused).
    Clock::time_point nextAnswer() const { return nextAnswer_; }
    /// Whether the next password may go to the server; otherwise it is refused untried.
    bool mayTry(Clock::time_point now);
    /// The password was refused (by the server, or untried).
    void refused(Clock::time_point now, bool byServer);
    /// The server took a password: the count starts again.
    void accepted();

private:
    std::deque<Clock::time_point> serverRefusals_;
    int inARow_ = 0;
    Clock::time_point nextAnswer_{};
};

}  // namespace quorvane::tools
