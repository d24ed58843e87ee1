// SPDX-License-Identifier: MIT
#include "common/log_output.hpp"

#include "common/output.hpp"

#include <kolvane.h>

#include <string>

namespace kcli {
namespace {

const char* level_name(int level) {
    switch (level) {
        case KOLVANE_LOG_ERROR:
            return "error";
        case KOLVANE_LOG_WARNING:
            return "warning";
        case KOLVANE_LOG_INFO:
            return "info";
        default:
            return "debug";
    }
}

extern "C" void print_log(int level, const char* message, void* user) {
    const int verbosity = *static_cast<const int*>(user);
    if (level == KOLVANE_LOG_ERROR || level > verbosity) return;
    write_stderr_line(std::string("kolvane: ") + level_name(level) + ": " + message);
}

int g_verbosity = 0;

}  // namespace

void set_verbosity(int verbosity) {
    g_verbosity = verbosity;
    kolvane_set_log_callback(verbosity > 0 ? print_log : nullptr, &g_verbosity);
}

}  // namespace kcli
