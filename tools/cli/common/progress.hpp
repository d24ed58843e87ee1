// SPDX-License-Identifier: MIT
// The progress bar of the CSV exports, on standard error: rows done of the total with the rate,
// or a spinner with the rows done when the total is unknown (-1).
#pragma once

#include <chrono>
#include <string>

namespace kcli {

class ProgressBar {
public:
    // Draws nothing unless standard error is a terminal or `forced` (--progress).
    explicit ProgressBar(bool forced);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Redraws at most ten times a second on a terminal, once a second elsewhere; the first
    // update and every change of the total are always drawn.
    void update(int done, int total);
    // Draws the last state and ends the line; called by the destructor too.
    void finish();

    // A progress callback for the library: `user` is a ProgressBar; returns non-zero once
    // Ctrl-C was pressed.
    static int callback(int done, int total, void* user);

private:
    void draw();

    bool enabled_;
    bool terminal_;
    bool drawn_ = false;
    bool finished_ = false;
    int done_ = 0;
    int total_ = -1;
    unsigned spin_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace kcli
