#include "api/frame.hpp"

#include <cstring>
#include <mutex>

namespace kolvane {
namespace {

struct LogSink {
    std::mutex mutex;
    kolvane_log_cb callback = nullptr;
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

void set_error(std::string_view message, char* err, int err_len) noexcept {
    if (err == nullptr || err_len <= 0) return;
    const size_t n = std::min(message.size(), static_cast<size_t>(err_len) - 1);
    std::memcpy(err, message.data(), n);
    err[n] = '\0';
}

int write_out(std::string_view document, char* out, int out_len) {
    const size_t length = document.size();
    if (out_len > 0 && static_cast<size_t>(out_len) > length) {
        std::memcpy(out, document.data(), length);
        out[length] = '\0';
        return static_cast<int>(length);
    }
    throw std::runtime_error("Output buffer too small: need " + std::to_string(length + 1) +
                             " bytes");
}

void deliver(kolvane_record_cb cb, void* user, const std::string& record) {
    if (cb == nullptr) return;
    if (cb(record.c_str(), user) != 0) throw Cancelled();
}

void report_progress(kolvane_progress_cb progress, void* user, int done, int total) {
    if (progress == nullptr) return;
    if (progress(done, total, user) != 0) throw Cancelled();
}

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

void set_log_callback(kolvane_log_cb cb, void* user) noexcept {
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
