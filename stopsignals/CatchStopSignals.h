#pragma once

#include <signal.h>

namespace quorvane {

/// The signals that ask a program to stop: Ctrl-C, the end of the desktop session or of the
/// terminal.
inline constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

/// While it lives, every stop signal calls `handler` (which must be async-signal-safe) instead
/// of what it did before; what it did before comes back when the value goes.
class CatchStopSignals {
public:
    /// With `restartCalls` false, a blocking read or poll returns EINTR when a signal arrives,
    /// so that the caller notices it at once.
    CatchStopSignals(void (*handler)(int), bool restartCalls);
    ~CatchStopSignals();
    CatchStopSignals(const CatchStopSignals&) = delete;
    CatchStopSignals& operator=(const CatchStopSignals&) = delete;

private:
    struct sigaction previous_[sizeof kStopSignals / sizeof kStopSignals[0]];
};

}  // namespace quorvane
