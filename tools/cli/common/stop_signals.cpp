// SPDX-License-Identifier: MIT
#include "common/stop_signals.hpp"

#include "common/exit_status.hpp"

#include <pthread.h>

namespace kcli {

StopSignalsBlocked::StopSignalsBlocked() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
}

StopSignalsBlocked::~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

int StopSignalsBlocked::wait(long milliseconds) const {
    const timespec timeout{milliseconds / 1000, (milliseconds % 1000) * 1'000'000};
    const int signal = sigtimedwait(&signals_, nullptr, &timeout);
    return signal > 0 ? signal : 0;
}

int exit_status_after(int signal) { return signal == SIGINT ? INTERRUPTED : SUCCESS; }

}  // namespace kcli
