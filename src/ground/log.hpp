// SPDX-License-Identifier: MIT
// The process-wide log sink: one callback and its user pointer behind one mutex, held while
// the callback runs.
#pragma once

#include <string>

namespace kolvane {

enum class LogLevel : int { Error = 0, Warning = 1, Info = 2, Debug = 3 };

// The signature of the C interface's log callback.
using LogCallback = void (*)(int level, const char* message, void* user);

void log_msg(LogLevel level, const std::string& message) noexcept;
void log_msg(LogLevel level, const char* message) noexcept;
// True when a log callback is registered: lets callers skip building messages nobody reads.
bool log_enabled() noexcept;
void set_log_callback(LogCallback cb, void* user) noexcept;

}  // namespace kolvane
