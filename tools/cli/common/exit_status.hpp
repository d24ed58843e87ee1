// SPDX-License-Identifier: MIT
// Exit statuses of the tool and the one place that turns a library status into one.
#pragma once

namespace kcli {

enum ExitStatus { SUCCESS = 0, FAILURE = 1, USAGE = 2, INTERRUPTED = 130 };

// Prints "kolvane: " and the library's message for a failed or cancelled call and
// returns the exit status for the library status `status`.
int exit_for(int status, const char* err);

// Checks every write to standard output (flushing the C++ streams first): on a failure prints
// it and returns the failure status, else `status`.
int finish_stdout(int status);

}  // namespace kcli
