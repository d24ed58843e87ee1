// SPDX-License-Identifier: MIT
#include "common/log_output.hpp"

#include "common/output.hpp"

#include <kolvane.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>

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

// The library's words for a request it sends again.
constexpr const char* RETRY_PREFIX = "Retry ";

// "Retry K of N: HOST:PORT unit U answered Modbus exception C": the answer that was retried.
constexpr const char* EXCEPTION_WORDS = " answered Modbus exception ";

thread_local int t_retries = 0;
thread_local std::map<int, int> t_exceptions;

extern "C" void print_log(int level, const char* message, void* user) {
    if (level == KOLVANE_LOG_INFO && std::strncmp(message, RETRY_PREFIX, 6) == 0) {
        ++t_retries;
        if (const char* at = std::strstr(message, EXCEPTION_WORDS))
            ++t_exceptions[std::atoi(at + std::strlen(EXCEPTION_WORDS))];
    }
    const int verbosity = *static_cast<const int*>(user);
    if (level == KOLVANE_LOG_ERROR || level > verbosity) return;
    write_stderr_line(std::string("kolvane: ") + level_name(level) + ": " + message);
}

int g_verbosity = 0;

}  // namespace

void set_verbosity(int verbosity) {
    g_verbosity = verbosity;
    // Registered also when nothing is printed: the retries are counted from the messages.
    kolvane_set_log_callback(print_log, &g_verbosity);
}

int take_retries() {
    const int count = t_retries;
    t_retries = 0;
    return count;
}

std::map<int, int> take_retried_exceptions() { return std::exchange(t_exceptions, {}); }

}  // namespace kcli
