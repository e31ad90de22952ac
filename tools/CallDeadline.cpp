#include "CallDeadline.h"

#include <algorithm>

#include "SmbClient.h"

namespace quorvane::tools {

namespace {

thread_local const CallDeadline* innermost = nullptr;

}  // namespace

CallDeadline::CallDeadline(Clock::time_point deadline)
    : outer_(innermost),
      deadline_(outer_ != nullptr ? std::min(deadline, outer_->deadline_) : deadline) {
    innermost = this;
}

CallDeadline::~CallDeadline() {
    innermost = outer_;
}

CallDeadline::Clock::time_point CallDeadline::current(Clock::time_point now) {
    return innermost != nullptr ? innermost->deadline_ : now + kRequestBound;
}

}  // namespace quorvane::tools
