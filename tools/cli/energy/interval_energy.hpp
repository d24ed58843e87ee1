// SPDX-License-Identifier: MIT
// The energy of each interval of one counter of a data log (kWh import, kvarh export, ...): a
// record closes the interval that ends at its time, from the record before it, and the interval's
// energy is the counter's step. A counter's step is only taken where a meter could have made it:
//
// - A step back (the counter went down) is a glitch. When one of the next 96 records comes back
//   to or above the counter before the drop, the records in between were wrong and are left
//   out; otherwise the counter was reset or set anew and counts on from its new level.
// - A step up that at least doubles the counter and lies more than ten times above the largest
//   step of its last 96 intervals, per interval, is a glitch in the same way: records read with a
//   wrong scale (x10, x100) are left out, and the step after them counts from the last good one.
// - Records at the end whose fate the next records would decide are left out until they come.
//
// An interval that covers missing or left-out records (longer than 1.5 times the log's own
// interval) is a gap: its energy is exact, but not spread over the time it covers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kenergy {

// One record's reading of the counter.
struct Reading {
    std::int64_t ms = 0;  // the record's true UTC time, milliseconds since 1970
    double value = 0;
};

struct Interval {
    std::int64_t start_ms = 0, end_ms = 0;  // from the last counted record to this one
    std::optional<double> energy;           // nothing: this record was left out (a glitch)
    bool gap = false;                       // covers missing or left-out records
    bool undecided = false;                 // left out until the next records decide it
    double hours() const { return double(end_ms - start_ms) / 3'600'000.0; }
};

// The log's own interval: the most frequent spacing of its records; 0 with fewer than two.
std::int64_t usual_spacing_ms(const std::vector<Reading>& readings);

// One interval per record after the first, in time order; `readings` ascending by time.
std::vector<Interval> interval_energy(const std::vector<Reading>& readings);

// The same, going on from intervals already counted: `readings` start at the last record
// counted, `spacing_ms` is the log's own interval and `recent_steps` are the steps per interval
// of the intervals counted before, oldest first (the last 96 count).
std::vector<Interval> interval_energy(const std::vector<Reading>& readings, std::int64_t spacing_ms,
                                      const std::vector<double>& recent_steps);

// An interval's step per interval of the log: its energy over the log's intervals it spans.
double step_per_interval(const Interval& interval, std::int64_t spacing_ms);

}  // namespace kenergy
