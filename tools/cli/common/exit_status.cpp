// SPDX-License-Identifier: MIT
#include "common/exit_status.hpp"

#include "common/output.hpp"

#include <kolvane.h>

#include <cstring>
#include <string>

namespace kcli {

int finish_stdout(int status) {
    const int error = flush_stdout();
    if (error == 0) return status;
    print_diagnostic(
        (std::string("Cannot write standard output: ") + std::strerror(error)).c_str());
    return status == SUCCESS ? FAILURE : status;
}

int exit_for(int status, const char* err) {
    if (status >= 0) return SUCCESS;
    print_diagnostic(err);
    return status == KOLVANE_CANCELLED ? INTERRUPTED : FAILURE;
}

}  // namespace kcli
