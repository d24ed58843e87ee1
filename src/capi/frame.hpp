// The call frame every exported operation runs in: exceptions become a status and a
// message, documents and records reach the caller, messages reach the log callback.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kolvane.h"

namespace kolvane {

enum class LogLevel : int { Error = 0, Warning = 1, Info = 2, Debug = 3 };

// Raised only by deliver and report_progress when a caller's callback asks to stop.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled by caller") {}
};

// Raised when the call's whole-call deadline has passed. Deliberately not a std::exception:
// the reads that fall back to defaults on a failure catch std::exception, and a deadline must
// end the call instead of turning into defaults (a PT ratio of 1, a missing column list).
class DeadlineExceeded {
public:
    explicit DeadlineExceeded(int32_t deadline_ms)
        : message_("Deadline of " + std::to_string(deadline_ms) + " ms exceeded") {}
    const char* what() const noexcept { return message_.c_str(); }

private:
    std::string message_;
};

void set_error(std::string_view message, char* err, int err_len) noexcept;
int write_out(std::string_view document, char* out, int out_len);
void deliver(kolvane_record_cb cb, void* user, const std::string& record);
void report_progress(kolvane_progress_cb progress, void* user, int done, int total);
void log_msg(LogLevel level, const std::string& message) noexcept;
void log_msg(LogLevel level, const char* message) noexcept;
// True when a log callback is registered: lets callers skip building messages nobody reads.
bool log_enabled() noexcept;
void set_log_callback(kolvane_log_cb cb, void* user) noexcept;

template <class Operation>
int run_safe(Operation&& operation, char* err, int err_len) noexcept {
    if (err != nullptr && err_len > 0) err[0] = '\0';
    try {
        return operation();
    } catch (const Cancelled& cancelled) {
        set_error(cancelled.what(), err, err_len);
        return KOLVANE_CANCELLED;
    } catch (const DeadlineExceeded& expired) {
        log_msg(LogLevel::Error, expired.what());
        set_error(expired.what(), err, err_len);
        return KOLVANE_ERROR;
    } catch (const std::exception& failure) {
        log_msg(LogLevel::Error, failure.what());
        set_error(failure.what(), err, err_len);
        return KOLVANE_ERROR;
    } catch (...) {
        set_error("Unknown error", err, err_len);
        return KOLVANE_ERROR;
    }
}

}  // namespace kolvane
