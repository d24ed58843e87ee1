// SPDX-License-Identifier: MIT
#include "energy/interval_energy.hpp"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>

namespace kenergy {
namespace {

double log_intervals(std::int64_t span_ms, std::int64_t spacing_ms) {
    if (spacing_ms <= 0) return 1;
    return std::max(1.0, std::round(double(span_ms) / double(spacing_ms)));
}

constexpr std::size_t STEPS_KEPT = 96;     // a day of 15-minute intervals
constexpr double FAR_ABOVE = 10;           // times the largest step kept, per interval
constexpr std::size_t MOST_LEFT_OUT = 97;  // a glitch lasts at most 96 records; longer: a new level
constexpr double GAP_FACTOR = 1.5;

// The largest steps per interval of the last counted intervals.
class RecentSteps {
public:
    void add(double per_interval) {
        steps_.push_back(per_interval);
        if (steps_.size() > STEPS_KEPT) steps_.pop_front();
    }
    double largest() const {
        return steps_.empty() ? 0 : *std::max_element(steps_.begin(), steps_.end());
    }

private:
    std::deque<double> steps_;
};

class Counter {
public:
    Counter(const std::vector<Reading>& readings, std::int64_t spacing,
            const std::vector<double>& recent_steps)
        : readings_(readings), spacing_(spacing) {
        for (double step : recent_steps) recent_.add(step);
    }

    // Intervals from the last counted record to record `i`.
    double intervals_to(std::size_t i) const {
        return log_intervals(readings_[i].ms - readings_[good_].ms, spacing_);
    }
    // Whether record `i` may follow the last counted one.
    bool plausible(std::size_t i) const {
        const double before = readings_[good_].value;
        const double step = readings_[i].value - before;
        if (step < 0) return false;
        const bool doubles = before > 0 && step >= before;
        return !(doubles && step > FAR_ABOVE * recent_.largest() * intervals_to(i));
    }
    void count(std::size_t i, std::vector<Interval>& out) {
        const Reading& from = readings_[good_];
        const double step = readings_[i].value - from.value;
        Interval interval{from.ms, readings_[i].ms, step, false};
        interval.gap = spacing_ > 0 &&
                       double(interval.end_ms - interval.start_ms) > GAP_FACTOR * double(spacing_);
        recent_.add(step / intervals_to(i));
        out.push_back(interval);
        good_ = i;
    }
    void leave_out(std::size_t i, std::vector<Interval>& out, bool undecided = false) const {
        out.push_back({readings_[i - 1].ms, readings_[i].ms, std::nullopt, false, undecided});
    }
    // Counts on from record `i`, its own step left out.
    void restart_at(std::size_t i, std::vector<Interval>& out) {
        leave_out(i, out);
        good_ = i;
    }

private:
    const std::vector<Reading>& readings_;
    const std::int64_t spacing_;
    std::size_t good_ = 0;  // the last record counted
    RecentSteps recent_;
};

}  // namespace

std::int64_t usual_spacing_ms(const std::vector<Reading>& readings) {
    std::map<std::int64_t, std::size_t> spacings;
    for (std::size_t i = 1; i < readings.size(); ++i)
        if (readings[i].ms > readings[i - 1].ms) ++spacings[readings[i].ms - readings[i - 1].ms];
    std::int64_t usual = 0;
    std::size_t most = 0;
    for (const auto& [spacing, count] : spacings)
        if (count > most) usual = spacing, most = count;
    return usual;
}

double step_per_interval(const Interval& interval, std::int64_t spacing_ms) {
    return interval.energy.value_or(0) /
           log_intervals(interval.end_ms - interval.start_ms, spacing_ms);
}

std::vector<Interval> interval_energy(const std::vector<Reading>& readings) {
    return interval_energy(readings, usual_spacing_ms(readings), {});
}

std::vector<Interval> interval_energy(const std::vector<Reading>& readings, std::int64_t spacing_ms,
                                      const std::vector<double>& recent_steps) {
    std::vector<Interval> out;
    if (readings.size() < 2) return out;
    Counter counter(readings, spacing_ms, recent_steps);
    std::size_t i = 1;
    while (i < readings.size()) {
        if (counter.plausible(i)) {
            counter.count(i++, out);
            continue;
        }
        // The first record within the next few that may follow the last counted one.
        const std::size_t last = i + MOST_LEFT_OUT;
        std::size_t back = i + 1;
        while (back < last && back < readings.size() && !counter.plausible(back)) ++back;
        if (back < last && back < readings.size()) {
            while (i < back) counter.leave_out(i++, out);
        } else if (back == last) {
            counter.restart_at(i++, out);
        } else {
            while (i < readings.size()) counter.leave_out(i++, out, true);
        }
    }
    return out;
}

}  // namespace kenergy
