// Exit statuses of the tool and the one place that turns a library status into one.
#pragma once

namespace kcli {

enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2, kInterrupted = 130 };

// Prints "kolvane: " and the library's message for a failed or cancelled call and
// returns the exit status for the library status `status`.
int exit_for(int status, const char* err);

// Prints "kolvane: " and `message` on standard error.
void print_diagnostic(const char* message);

}  // namespace kcli
