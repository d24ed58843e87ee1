// SPDX-License-Identifier: MIT
// Collects the library's log messages for the length of one test. The log callback is
// process-wide, so it is installed on construction and removed on destruction.
#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "kolvane.h"

namespace ktest {

struct LogEntry {
    int level = 0;
    std::string message;
    bool operator==(const LogEntry&) const = default;
};

inline void PrintTo(const LogEntry& entry, std::ostream* os) {
    *os << "[" << entry.level << "] " << entry.message;
}

class LogCapture {
public:
    LogCapture() { kolvane_set_log_callback(&LogCapture::record, this); }
    ~LogCapture() { kolvane_set_log_callback(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogEntry> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    // Messages as "<level> <text>", in arrival order.
    std::vector<std::string> messages() const {
        std::vector<std::string> result;
        for (const LogEntry& entry : entries())
            result.push_back(std::to_string(entry.level) + " " + entry.message);
        return result;
    }
    std::vector<std::string> at_level(int level) const {
        std::vector<std::string> result;
        for (const LogEntry& entry : entries()) {
            if (entry.level == level) result.push_back(entry.message);
        }
        return result;
    }

private:
    static void record(int level, const char* message, void* user) {
        auto* self = static_cast<LogCapture*>(user);
        std::lock_guard lock(self->mutex_);
        self->entries_.push_back({level, message});
    }

    mutable std::mutex mutex_;
    std::vector<LogEntry> entries_;
};

// The warnings and information lines, in arrival order. Debug lines (connection and transfer
// details, such as the port the kernel picked) are no promise, so tests leave them out.
inline std::vector<LogEntry> without_debug(const LogCapture& log) {
    std::vector<LogEntry> kept;
    for (const LogEntry& entry : log.entries()) {
        if (entry.level < KOLVANE_LOG_DEBUG) kept.push_back(entry);
    }
    return kept;
}

}  // namespace ktest
