// SPDX-License-Identifier: MIT
// Ctrl-C handling. Inside a cancellable transfer SIGINT only raises a flag that the record and
// progress callbacks hand back to the library; anywhere else the tool exits at once with 130.
#pragma once

namespace kcli {

void install_interrupt_handler();

// True once SIGINT has arrived.
bool interrupted();

// Marks the lifetime of a call that can be asked to stop through its callbacks.
class CancellableScope {
public:
    CancellableScope();
    ~CancellableScope();
    CancellableScope(const CancellableScope&) = delete;
    CancellableScope& operator=(const CancellableScope&) = delete;
};

}  // namespace kcli
