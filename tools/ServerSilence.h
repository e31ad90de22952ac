#pragma once

#include <atomic>
#include <chrono>

// Whether the server has gone silent: the latest news of it is a request left unanswered past
// its caller's deadline (or a worker's own time-out). One system call can reach the daemon as
// several requests (the kernel looks a name up again after a failed check of what it knew),
// and programs looking up the same name wait for each other's lookups in turn: if each of
// those requests waited its whole bound again, the program would wait a multiple of it. So
// while the server is silent such a request (a lookup) waits for a busy worker not at all, and
// for its reply only long enough for a server that has just come back (kProbe); the first
// answer ends it. Other requests (a write, say) keep their whole bound, so that an outage
// shorter than that stays a delay for them.
// Only a wait of a call's whole bound tells silence: shortened waits that end without an
// answer do not prolong it (a busy machine may be slow to answer at once).
namespace quorvane::tools {

class ServerSilence {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kProbe{500};

    /// The server answered a request (whatever its answer) at `at`.
    void answered(Clock::time_point at);
    /// A request went unanswered at `at`.
    void unanswered(Clock::time_point at);
    /// A call waited in vain from `since` to `now` (for a worker busy all that time): when
    /// nothing at all was answered meanwhile, that is silence too.
    void waitedInVain(Clock::time_point since, Clock::time_point now);
    bool silent() const;

    /// How long a request of a call with `deadline`, at `now`, waits for a worker
    /// (`forReply` false) or for the worker's reply.
    Clock::time_point waitUntil(Clock::time_point deadline, Clock::time_point now,
                                bool forReply) const;

private:
    static void raise(std::atomic<Clock::rep>& latest, Clock::time_point at);
    std::atomic<Clock::rep> lastAnswer_{Clock::time_point::min().time_since_epoch().count()};
    std::atomic<Clock::rep> lastSilence_{Clock::time_point::min().time_since_epoch().count()};
};

}  // namespace quorvane::tools
