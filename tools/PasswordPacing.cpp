#include "PasswordPacing.h"

#include <algorithm>

namespace quorvane::tools {

bool PasswordPacing::mayTry(Clock::time_point now) {
    while (!serverRefusals_.empty() && now - serverRefusals_.front() >= kWindow) {
        serverRefusals_.pop_front();
    }
    return static_cast<int>(serverRefusals_.size()) < kMostTries;
}

void PasswordPacing::refused(Clock::time_point now, bool byServer) {
    if (byServer) {
        serverRefusals_.push_back(now);
    }
    ++inARow_;
    const auto wait = kFirstWait * (1LL << std::min(inARow_ - 1, 16));
    nextAnswer_ = now + std::min<Clock::duration>(wait, kLongestWait);
}

void PasswordPacing::accepted() {
    serverRefusals_.clear();
    inARow_ = 0;
    nextAnswer_ = {};
}

}  // namespace quorvane::tools
