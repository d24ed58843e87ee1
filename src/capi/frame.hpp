// SPDX-License-Identifier: MIT
// The call frame every exported operation runs in: exceptions become a status and a
// message, documents and records reach the caller.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ground/interruptions.hpp"
#include "ground/log.hpp"
#include "ground/sinks.hpp"
#include "kolvane.h"

namespace kolvane {

void set_error(std::string_view message, char* err, int err_len) noexcept;
// Copies a finished document into the caller's buffer; returns its length.
int write_out(std::string_view document, char* out, int out_len);
// The C callbacks as the sinks the feature code takes: a non-zero return raises Cancelled.
RecordSink record_sink(kolvane_record_cb cb, void* user);
ProgressSink progress_sink(kolvane_progress_cb progress, void* user);

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
