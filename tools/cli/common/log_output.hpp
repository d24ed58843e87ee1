// SPDX-License-Identifier: MIT
// The library's log messages on standard error: warnings by default, none with -q, more with -vv.
#pragma once

namespace kcli {

// verbosity 0 prints nothing, 1 warnings, 2 also information, 3 also debug messages. Failure
// messages (level 0) are left out: the tool prints every failure itself.
void set_verbosity(int verbosity);

// The requests the library sent again on this thread (a busy gateway, a unit that missed one
// request) since the last call, which starts the count afresh. The library logs each retry on the
// calling thread, so a thread's count is that of its own calls.
int take_retries();

}  // namespace kcli
