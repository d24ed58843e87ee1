// SPDX-License-Identifier: MIT
#include "collect/completeness.hpp"

#include "common/meter_clock.hpp"

#include <algorithm>
#include <cmath>

namespace kcollect {
namespace {

// Grid points oldest + k * step lying in [from, to), all in ms.
std::int64_t points_between(std::int64_t oldest, std::int64_t step, std::int64_t from,
                            std::int64_t to) {
    if (to <= from || step <= 0) return 0;
    const auto ceil_div = [](std::int64_t a, std::int64_t b) {
        return a >= 0 ? (a + b - 1) / b : -((-a) / b);
    };
    return ceil_div(to - oldest, step) - ceil_div(from - oldest, step);
}

}  // namespace

LogWatch::LogWatch(const std::optional<std::string>& newest_stored) {
    if (newest_stored) {
        previous_utc_ = *newest_stored;
        previous_ms_ = kcli::utc_ms(*newest_stored);
    }
}

void LogWatch::add(const std::string& utc, const std::string& meter_time) {
    const std::int64_t ms = kcli::utc_ms(utc);
    days_.insert(meter_time.substr(0, 10));
    if (previous_ms_ && ms > *previous_ms_) {
        const std::int64_t step = ms - *previous_ms_;
        ++steps_[step];
        if (!shortest_ms_ || step < *shortest_ms_) shortest_ms_ = step;
        if (step > *shortest_ms_) long_steps_.push_back({{previous_utc_, utc, 0}, step});
    }
    if (!previous_ms_ || ms > *previous_ms_) previous_ms_ = ms, previous_utc_ = utc;
}

double LogWatch::interval_s() const {
    const auto most =
        std::max_element(steps_.begin(), steps_.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == steps_.end() ? 0 : static_cast<double>(most->first) / 1000;
}

std::vector<LogWatch::Hole> LogWatch::holes() const {
    std::vector<Hole> holes;
    const double interval_ms = interval_s() * 1000;
    if (interval_ms <= 0) return holes;
    for (const auto& [hole, step] : long_steps_)
        if (static_cast<double>(step) > 1.5 * interval_ms)
            holes.push_back(
                {hole.from, hole.to, std::llround(static_cast<double>(step) / interval_ms) - 1});
    return holes;
}

void record_completeness(kdb::Database& store, Writer& writer, std::int64_t serial, int file_id,
                         const std::string& zone, const LogWatch& watch,
                         const std::optional<std::string>& skip_from) {
    const double interval = watch.interval_s();
    const auto span = store.stored_span(serial, file_id);
    if (interval <= 0 || !span) return;
    const auto step = static_cast<std::int64_t>(std::llround(interval * 1000));
    const std::int64_t oldest = kcli::utc_ms(span->first), newest = kcli::utc_ms(span->second);
    for (const std::string& day : watch.days()) {
        const std::string start = kcli::day_start_utc(day, zone);
        const std::string end = kcli::day_start_utc(kcli::next_day(day), zone);
        // The first and last days of a log count from its first record and to its last.
        const std::int64_t from = std::max(kcli::utc_ms(start), oldest);
        const std::int64_t to = std::min(kcli::utc_ms(end), newest + 1);
        writer.save(kdb::DayRow{serial, file_id, day, interval,
                                points_between(oldest, step, from, to),
                                store.records_between(serial, file_id, start, end)});
    }
    for (const LogWatch::Hole& hole : watch.holes()) {
        if (skip_from && hole.from == *skip_from) continue;
        const bool off = store.power_events_between(serial, hole.from, hole.to) > 0;
        writer.save(kdb::GapRow{serial, file_id, hole.from, hole.to, hole.missing,
                                off ? METER_OFF : NOT_RECORDED});
    }
}

}  // namespace kcollect
