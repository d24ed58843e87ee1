// SPDX-License-Identifier: MIT
#include "common/progress.hpp"

#include "common/interrupt.hpp"
#include "common/output.hpp"

#include <unistd.h>
#include <algorithm>
#include <cstdio>

namespace kcli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t BAR_WIDTH = 30;

}  // namespace

ProgressBar::ProgressBar(bool forced)
    : enabled_(forced || isatty(STDERR_FILENO)),
      terminal_(isatty(STDERR_FILENO)),
      start_(Clock::now()),
      last_draw_(start_) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(int done, int total) {
    if (!enabled_ || finished_) return;
    const bool total_changed = total != total_;
    done_ = done;
    total_ = total;
    const auto now = Clock::now();
    const auto interval =
        terminal_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
    if (drawn_ && !total_changed && now - last_draw_ < interval) return;
    last_draw_ = now;
    draw();
}

void ProgressBar::finish() {
    if (!enabled_ || finished_) return;
    if (drawn_) {
        draw();
        if (terminal_) write_stderr_text("\n");
    }
    finished_ = true;
}

int ProgressBar::callback(int done, int total, void* user) {
    static_cast<ProgressBar*>(user)->update(done, total);
    return interrupted() ? 1 : 0;
}

void ProgressBar::draw() {
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const double rate = seconds > 0 ? done_ / seconds : 0;
    char text[160];
    if (total_ >= 0) {
        const double share = total_ > 0 ? static_cast<double>(done_) / total_ : 1.0;
        const auto filled =
            static_cast<std::size_t>(std::clamp(share * BAR_WIDTH + 0.5, 0.0, double(BAR_WIDTH)));
        std::snprintf(text, sizeof text, "[%s%s] %d/%d rows %3d%% %.0f rows/s",
                      std::string(filled, '#').c_str(),
                      std::string(BAR_WIDTH - filled, '-').c_str(), done_, total_,
                      static_cast<int>(share * 100 + 0.5), rate);
    } else {
        static const char SPINNER[] = "|/-\\";
        std::snprintf(text, sizeof text, "%c %d rows %.0f rows/s", SPINNER[spin_++ % 4], done_,
                      rate);
    }
    if (terminal_)
        write_stderr_text(std::string("\r") + text + "\033[K");
    else
        write_stderr_line(text);
}

}  // namespace kcli
