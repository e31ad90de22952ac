#pragma once

#include <chrono>

// The moment by which the mount call a thread serves must have its answer. It is set once,
// when the call arrives from the kernel, and everything the call waits for counts against it:
// a worker to become free, the worker's reply, a repeat on a new worker. Calls that start
// nothing of their own (the pool's calls made outside a mount call) get the bound from the
// moment they ask.
namespace quorvane::tools {

class CallDeadline {
public:
    using Clock = std::chrono::steady_clock;

    /// Puts `deadline` in force on this thread until destroyed; within a call already bounded,
    /// the earlier of the two holds.
    explicit CallDeadline(Clock::time_point deadline);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

    /// The deadline in force on this thread, else `now` plus a call's bound.
    static Clock::time_point current(Clock::time_point now = Clock::now());

private:
    const CallDeadline* outer_;
    Clock::time_point deadline_;
};

}  // namespace quorvane::tools
