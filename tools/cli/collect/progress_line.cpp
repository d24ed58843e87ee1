// SPDX-License-Identifier: MIT
#include "collect/progress_line.hpp"

#include "common/output.hpp"

#include <unistd.h>
#include <cstdio>
#include <string>

namespace kcollect {

ProgressLine::ProgressLine(int meters) : enabled_(::isatty(STDERR_FILENO) == 1), meters_(meters) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::meter_done() {
    std::lock_guard lock(mutex_);
    ++done_;
    draw(true);
}

void ProgressLine::rows_stored(std::int64_t rows) {
    std::lock_guard lock(mutex_);
    rows_ += rows;
    draw(false);
}

void ProgressLine::clear() {
    std::lock_guard lock(mutex_);
    if (shown_) kcli::write_stderr_text("\r\033[K");
    shown_ = false;
}

void ProgressLine::draw(bool force) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_draw_ < std::chrono::milliseconds(100)) return;
    last_draw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    char text[160];
    std::snprintf(text, sizeof text, "\r\033[Kcollect: %d/%d meters, %lld rows stored, %.0f rows/s",
                  done_, meters_, static_cast<long long>(rows_),
                  seconds > 0 ? static_cast<double>(rows_) / seconds : 0.0);
    kcli::write_stderr_text(text);
    shown_ = true;
}

}  // namespace kcollect
