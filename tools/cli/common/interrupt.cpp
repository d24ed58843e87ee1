// SPDX-License-Identifier: MIT
#include "common/interrupt.hpp"

#include "common/exit_status.hpp"

#include <unistd.h>
#include <csignal>

namespace kcli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
volatile std::sig_atomic_t g_cancellable = 0;

extern "C" void on_sigint(int) {
    g_interrupted = 1;
    // No running call can be asked to stop: leave now. Output lines block SIGINT while they
    // are written, so none is cut.
    if (!g_cancellable) _exit(INTERRUPTED);
}

}  // namespace

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_sigint;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted() { return g_interrupted != 0; }

CancellableScope::CancellableScope() { g_cancellable = 1; }

CancellableScope::~CancellableScope() { g_cancellable = 0; }

}  // namespace kcli
