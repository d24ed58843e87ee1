// SPDX-License-Identifier: MIT
// The library's log messages on standard error: warnings by default, none with -q, more with -vv.
#pragma once

namespace kcli {

// verbosity 0 prints nothing, 1 warnings, 2 also information, 3 also debug messages. Failure
// messages (level 0) are left out: the tool prints every failure itself.
void set_verbosity(int verbosity);

}  // namespace kcli
