// SPDX-License-Identifier: MIT
#include "capi/frame.hpp"

#include <cstring>

namespace kolvane {

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

RecordSink record_sink(kolvane_record_cb cb, void* user) {
    if (cb == nullptr) return [](const std::string&) {};
    return [cb, user](const std::string& record) {
        if (cb(record.c_str(), user) != 0) throw Cancelled();
    };
}

ProgressSink progress_sink(kolvane_progress_cb progress, void* user) {
    if (progress == nullptr) return [](int, int) {};
    return [progress, user](int done, int total) {
        if (progress(done, total, user) != 0) throw Cancelled();
    };
}

}  // namespace kolvane
