// SPDX-License-Identifier: MIT
#include "energy/energy_periods.hpp"

#include "energy/calendar_text.hpp"

#include <cctz/civil_time.h>

#include <chrono>
#include <map>

namespace kenergy {
namespace {

cctz::civil_day civil_day_of(std::int64_t ms, const cctz::time_zone& zone) {
    const auto point =
        cctz::time_point<cctz::seconds>(cctz::seconds(ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000)));
    return cctz::civil_day(cctz::convert(point, zone));
}

std::int64_t start_ms(const cctz::civil_day& day, const cctz::time_zone& zone) {
    const auto point = cctz::convert(cctz::civil_second(day), zone);
    return std::chrono::duration_cast<std::chrono::milliseconds>(point.time_since_epoch()).count();
}

void keep_peak(PeriodEnergy& period, const Interval& interval) {
    if (!interval.energy || interval.gap || interval.hours() <= 0) return;
    const double power = *interval.energy / interval.hours();
    if (!period.peak || power > period.peak->power) period.peak = Peak{power, interval};
}

}  // namespace

std::string day_of(std::int64_t ms, const cctz::time_zone& zone) {
    return day_text(civil_day_of(ms, zone));
}

std::vector<PeriodEnergy> daily_energy(const std::vector<Interval>& intervals,
                                       std::int64_t spacing_ms, const cctz::time_zone& zone,
                                       const TariffOf& tariff_of) {
    std::map<cctz::civil_day, PeriodEnergy> days;
    const auto day = [&](const cctz::civil_day& d) -> PeriodEnergy& {
        PeriodEnergy& entry = days[d];
        if (entry.label.empty()) entry.label = day_text(d);
        return entry;
    };
    for (const Interval& interval : intervals) {
        // Midnight ends the day before: the interval belongs to the day of its last instant.
        const cctz::civil_day ends = civil_day_of(interval.end_ms - 1, zone);
        PeriodEnergy& in = day(ends);
        in.days = 1;
        if (!interval.energy) {
            ++in.glitches;
            continue;
        }
        const cctz::civil_day begins = civil_day_of(interval.start_ms, zone);
        if (interval.gap && begins < ends) {
            in.hole_energy += *interval.energy;
            for (cctz::civil_day d = begins; d <= ends; ++d) day(d).partial = true;
            continue;
        }
        in.energy += *interval.energy;
        if (tariff_of) in.by_tariff[tariff_of(interval)] += *interval.energy;
        keep_peak(in, interval);
    }
    if (days.empty()) return {};
    // The data's first and last days are whole only when their records reach midnight.
    const Interval& first = intervals.front();
    const Interval& last = intervals.back();
    const cctz::civil_day first_day = days.begin()->first, last_day = days.rbegin()->first;
    if (first.start_ms - spacing_ms / 2 > start_ms(first_day, zone))
        days.begin()->second.partial = true;
    if (last.end_ms + spacing_ms / 2 < start_ms(last_day + 1, zone))
        days.rbegin()->second.partial = true;
    std::vector<PeriodEnergy> out;
    for (auto& [d, entry] : days) out.push_back(std::move(entry));
    return out;
}

PeriodEnergy sum_days(const std::vector<PeriodEnergy>& days, const std::string& first,
                      const std::string& last, const std::string& label) {
    PeriodEnergy sum;
    sum.label = label;
    sum.days_in = int(*parse_day(last) - *parse_day(first)) + 1;
    for (const PeriodEnergy& day : days) {
        if (day.label < first || day.label > last) continue;
        sum.energy += day.energy;
        sum.hole_energy += day.hole_energy;
        sum.glitches += day.glitches;
        sum.days += day.days;
        sum.partial = sum.partial || day.partial;
        for (const auto& [period, energy] : day.by_tariff) sum.by_tariff[period] += energy;
        if (day.peak && (!sum.peak || day.peak->power > sum.peak->power)) sum.peak = day.peak;
    }
    sum.partial = sum.partial || sum.days < sum.days_in;
    return sum;
}

std::vector<PeriodEnergy> monthly_energy(const std::vector<PeriodEnergy>& days) {
    std::vector<PeriodEnergy> months;
    for (std::size_t i = 0; i < days.size();) {
        const std::string month = days[i].label.substr(0, 7);
        const cctz::civil_month civil = parse_month(days[i].label);
        const std::string last = day_text(cctz::civil_day(civil + 1) - 1);
        months.push_back(sum_days(days, month + "-01", last, month));
        while (i < days.size() && days[i].label.starts_with(month)) ++i;
    }
    return months;
}

}  // namespace kenergy
