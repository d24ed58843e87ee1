// SPDX-License-Identifier: MIT
// The library's log messages on standard error: warnings by default, none with -q, more with -vv.
#pragma once

#include <map>

namespace kcli {

// verbosity 0 prints nothing, 1 warnings, 2 also information, 3 also debug messages. Failure
// messages (level 0) are left out: the tool prints every failure itself.
void set_verbosity(int verbosity);

// The requests the library sent again on this thread (a busy gateway, a unit that missed one
// request) since the last call, which starts the count afresh. The library logs each retry on the
// calling thread, so a thread's count is that of its own calls.
int take_retries();
// The retries of take_retries() by the Modbus exception that was answered (6 busy, 5 acknowledge,
// 11 no answer from the unit behind a gateway), counted the same way.
std::map<int, int> take_retried_exceptions();

}  // namespace kcli
