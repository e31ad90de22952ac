#include "ServerSilence.h"

#include <algorithm>

namespace quorvane::tools {

void ServerSilence::raise(std::atomic<Clock::rep>& latest, Clock::time_point at) {
    const Clock::rep ticks = at.time_since_epoch().count();
    Clock::rep seen = latest.load();
    while (seen < ticks && !latest.compare_exchange_weak(seen, ticks)) {
    }
}

void ServerSilence::answered(Clock::time_point at) {
    raise(lastAnswer_, at);
}

void ServerSilence::unanswered(Clock::time_point at) {
    raise(lastSilence_, at);
}

void ServerSilence::waitedInVain(Clock::time_point since, Clock::time_point now) {
    if (lastAnswer_.load() < since.time_since_epoch().count()) {
        unanswered(now);
    }
}

bool ServerSilence::silent() const {
    return lastSilence_.load() > lastAnswer_.load();
}

ServerSilence::Clock::time_point ServerSilence::waitUntil(Clock::time_point deadline,
                                                          Clock::time_point now,
                                                          bool forReply) const {
    if (!silent()) {
        return deadline;
    }
    return std::min(deadline, forReply ? now + kProbe : now);
}

}  // namespace quorvane::tools
