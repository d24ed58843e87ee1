// SPDX-License-Identifier: MIT
#include "collect/log_checks.hpp"

#include "common/meter_clock.hpp"

#include <cmath>

namespace kcollect {
namespace {

// A meter whose clock is this far ahead of the host's has a wrong clock or zone; less is the
// ordinary drift of two clocks.
constexpr double FUTURE_TOLERANCE_S = 300;
// A log counts as stale when its newest record is older than two intervals and this much.
constexpr double STALE_SLACK_S = 900;

// "3 h 5 min", "45 s".
std::string duration_text(double seconds) {
    const auto total = static_cast<long long>(std::llround(std::fabs(seconds)));
    if (total < 60) return std::to_string(total) + " s";
    const long long days = total / 86400, hours = total % 86400 / 3600, minutes = total % 3600 / 60;
    std::string text;
    if (days > 0) text += std::to_string(days) + " d ";
    if (days > 0 || hours > 0) text += std::to_string(hours) + " h ";
    return text + std::to_string(minutes) + " min";
}

double seconds_between(const std::string& from_utc, const std::string& to_utc) {
    return static_cast<double>(kcli::utc_ms(to_utc) - kcli::utc_ms(from_utc)) / 1000;
}

}  // namespace

std::string clock_warning(const std::string& newest_utc, double step_s,
                          const std::string& now_utc) {
    const double age = seconds_between(newest_utc, now_utc);
    if (age < -FUTURE_TOLERANCE_S)
        return "clock: the newest data log record (" + newest_utc + ") lies " + duration_text(age) +
               " in the future: the meter's clock or its zone (tz=) is wrong";
    if (step_s > 0 && age > 2 * step_s + STALE_SLACK_S)
        return "clock: the newest data log record (" + newest_utc + ") is " + duration_text(age) +
               " old though the log records every " + duration_text(step_s) +
               ": the meter's clock is behind or its zone (tz=) wrong, or it stopped recording";
    return {};
}

std::optional<kdb::GapRow> records_lost(std::int64_t serial, int file_id,
                                        const kdb::NewestRecord& stored, int first_seq,
                                        const std::string& first_utc) {
    const int distance = (first_seq - stored.seq + 65536) % 65536;
    // Sequence numbers that jump back or by more than half their range: a log that started
    // again, not one that went on and overwrote.
    if (distance <= 1 || distance > 32768) return std::nullopt;
    if (kcli::utc_ms(first_utc) <= kcli::utc_ms(stored.recorded_at)) return std::nullopt;
    return kdb::GapRow{serial, file_id, stored.recorded_at, first_utc, distance - 1, OVERWRITTEN};
}

std::string lost_warning(const kdb::GapRow& gap) {
    const std::string log =
        gap.file_id > 0 ? "data log " + std::to_string(gap.file_id) : "event log";
    return log + ": " + std::to_string(gap.missing) +
           " records were overwritten on the meter before they were collected, between " +
           gap.gap_from + " and " + gap.gap_to;
}

}  // namespace kcollect
