// SPDX-License-Identifier: MIT
#include "ground/log.hpp"

#include <mutex>

namespace kolvane {
namespace {

struct LogSink {
    std::mutex mutex;
    LogCallback callback = nullptr;
    void* user = nullptr;
};

LogSink& log_sink() noexcept {
    static LogSink sink;  // constant-initialised: std::mutex has a constexpr constructor
    return sink;
}

// Set while this thread runs the log callback, and so holds the sink's lock. A callback
// that logs or changes the callback on its own thread must neither lock again (deadlock)
// nor re-enter itself (unbounded recursion).
thread_local bool in_log_callback = false;

}  // namespace

void log_msg(LogLevel level, const char* message) noexcept {
    if (in_log_callback) return;
    LogSink& sink = log_sink();
    std::lock_guard lock(sink.mutex);
    if (sink.callback == nullptr) return;
    in_log_callback = true;
    try {
        sink.callback(static_cast<int>(level), message, sink.user);
    } catch (...) {
        // A C++ host's callback that throws must not take the operation down with it.
    }
    in_log_callback = false;
}

void log_msg(LogLevel level, const std::string& message) noexcept {
    log_msg(level, message.c_str());
}

bool log_enabled() noexcept {
    LogSink& sink = log_sink();
    if (in_log_callback) return false;
    std::lock_guard lock(sink.mutex);
    return sink.callback != nullptr;
}

void set_log_callback(LogCallback cb, void* user) noexcept {
    LogSink& sink = log_sink();
    if (in_log_callback) {  // this thread already holds the lock
        sink.callback = cb;
        sink.user = user;
        return;
    }
    std::lock_guard lock(sink.mutex);
    sink.callback = cb;
    sink.user = user;
}

}  // namespace kolvane
