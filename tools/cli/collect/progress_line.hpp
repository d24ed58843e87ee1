// SPDX-License-Identifier: MIT
// The collector's progress on a terminal: meters done of the total, rows stored and their rate,
// redrawn in place on standard error at most ten times a second. Silent when standard error is
// not a terminal, so scripts and logs see only the result lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace kcollect {

class ProgressLine {
public:
    explicit ProgressLine(int meters);
    ~ProgressLine();  // clears the line

    void meter_done();
    void rows_stored(std::int64_t rows);
    // Clears the line so that a result line can be printed; the next update redraws it.
    void clear();

private:
    void draw(bool force);

    const bool enabled_;
    const int meters_;
    std::mutex mutex_;
    int done_ = 0;
    std::int64_t rows_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace kcollect
