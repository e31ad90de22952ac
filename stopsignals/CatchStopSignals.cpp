#include "CatchStopSignals.h"

#include <iterator>

namespace quorvane {

CatchStopSignals::CatchStopSignals(void (*handler)(int), bool restartCalls) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restartCalls ? SA_RESTART : 0;
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &action, &previous_[i]);
    }
}

CatchStopSignals::~CatchStopSignals() {
    for (size_t i = 0; i < std::size(kStopSignals); ++i) {
        ::sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
}

}  // namespace quorvane
