// SPDX-License-Identifier: MIT
#include "report/daily_energy.hpp"

#include "energy/energy_periods.hpp"
#include "energy/energy_rows.hpp"
#include "report/utc_time.hpp"

#include <cmath>

namespace kreport {

nlohmann::json daily_energy(const std::string& quantity, const std::string& unit,
                            const std::vector<double>& times, const std::vector<double>& readings,
                            const ZoneClock& clock) {
    std::vector<kenergy::Reading> counted;
    for (std::size_t i = 0; i < times.size(); ++i)
        if (!std::isnan(readings[i]))
            counted.push_back({std::llround(times[i] * 1000), readings[i]});
    const std::vector<kenergy::Interval> intervals = kenergy::interval_energy(counted);
    const std::vector<kenergy::PeriodEnergy> days =
        kenergy::daily_energy(intervals, kenergy::usual_spacing_ms(counted), clock.zone());

    nlohmann::json chart{{"kind", "daily"}, {"unit", unit}, {"quantity", quantity}};
    nlohmann::json dates = nlohmann::json::array(), middles = nlohmann::json::array(),
                   starts = nlohmann::json::array(), ends = nlohmann::json::array(),
                   partial = nlohmann::json::array(), values = nlohmann::json::array(),
                   holes = nlohmann::json::array(), glitches = nlohmann::json::array(),
                   months = nlohmann::json::array();
    for (const kenergy::PeriodEnergy& d : days) {
        const ZoneDay day = clock.day_named(d.label);
        dates.push_back(d.label);
        middles.push_back((day.start + day.end) / 2);
        starts.push_back(day.start);
        ends.push_back(day.end);
        partial.push_back(d.partial);
        values.push_back(d.energy);
        holes.push_back(d.hole_energy);
    }
    // Interval k closes at reading k + 1.
    for (std::size_t k = 0; k < intervals.size(); ++k)
        if (!intervals[k].energy)
            glitches.push_back({{"at", utc_text(double(intervals[k].end_ms) / 1000)},
                                {"from", counted[k].value},
                                {"to", counted[k + 1].value}});
    for (const kenergy::PeriodEnergy& month : kenergy::monthly_energy(days)) {
        nlohmann::json peak = nullptr;
        if (month.peak)
            peak = {{"power", month.peak->power},
                    {"unit", kenergy::power_unit(unit)},
                    {"start", double(month.peak->interval.start_ms) / 1000}};
        months.push_back({{"month", month.label},
                          {"energy", month.energy},
                          {"hole_energy", month.hole_energy},
                          {"partial", month.partial},
                          {"peak", peak}});
    }
    chart["days"] = std::move(dates);
    chart["x"] = std::move(middles);
    chart["starts"] = std::move(starts);
    chart["ends"] = std::move(ends);
    chart["partial"] = std::move(partial);
    chart["series"] = nlohmann::json::array({{{"name", quantity}, {"values", std::move(values)}}});
    chart["holes"] = std::move(holes);
    chart["glitches"] = std::move(glitches);
    chart["months"] = std::move(months);
    return chart;
}

}  // namespace kreport
