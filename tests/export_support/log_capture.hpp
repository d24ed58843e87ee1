// Captures the library's log messages for the lifetime of the object; the callback is
// process-wide, so it is removed again at scope end.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "kolvane.h"

namespace kolvane_test {

class LogCapture {
public:
    LogCapture() { kolvane_set_log_callback(&LogCapture::receive, this); }
    ~LogCapture() { kolvane_set_log_callback(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Messages as "<level> <text>", in arrival order.
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

private:
    static void receive(int level, const char* message, void* user) {
        auto* self = static_cast<LogCapture*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->messages_.push_back(std::to_string(level) + " " + message);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

}  // namespace kolvane_test
