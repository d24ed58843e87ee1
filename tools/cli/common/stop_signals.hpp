// SPDX-License-Identifier: MIT
// SIGINT and SIGTERM for the long-running commands (exporter, mqtt): taken by one thread through
// sigtimedwait(), never by a handler in whichever thread the kernel picks.
#pragma once

#include <csignal>

namespace kcli {

// Blocks SIGINT and SIGTERM in the thread that makes it, and so in every thread started after it:
// only sigtimedwait() takes them then.
class StopSignalsBlocked {
public:
    StopSignalsBlocked();
    ~StopSignalsBlocked();
    StopSignalsBlocked(const StopSignalsBlocked&) = delete;
    StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;
    const sigset_t& signals() const { return signals_; }

    // Waits up to `milliseconds` for SIGINT or SIGTERM; returns it, or 0 when none came.
    int wait(long milliseconds) const;

private:
    sigset_t signals_, previous_;
};

// The exit status after the stop signal `signal`: 0 for SIGTERM (a service manager's stop),
// 130 for SIGINT (Ctrl-C).
int exit_status_after(int signal);

}  // namespace kcli
