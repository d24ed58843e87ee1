// SPDX-License-Identifier: MIT
#include "exit_status.hpp"

#include "output.hpp"

#include <kolvane.h>

#include <string>

namespace kcli {

void print_diagnostic(const char* message) {
    write_stderr_line(std::string("kolvane: ") + message);
}

int exit_for(int status, const char* err) {
    if (status >= 0) return SUCCESS;
    print_diagnostic(err);
    return status == KOLVANE_CANCELLED ? INTERRUPTED : FAILURE;
}

}  // namespace kcli
