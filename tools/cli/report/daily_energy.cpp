// SPDX-License-Identifier: MIT
#include "report/daily_energy.hpp"

#include "report/utc_time.hpp"

#include <cmath>

namespace kreport {
namespace {

struct DayEnergy {
    ZoneDay day;
    double energy = 0;
    double from = 0;  // when the reading the day's energy counts from was taken
    double to = 0;    // when its last reading was taken
};

}  // namespace

nlohmann::json daily_energy(const std::string& quantity, const std::string& unit,
                            const std::vector<double>& times, const std::vector<double>& readings,
                            double interval, const ZoneClock& clock) {
    std::vector<DayEnergy> days;
    nlohmann::json back = nlohmann::json::array();
    double previous = NAN, previous_time = NAN;
    double peak = NAN;  // the reading the counter went back from, until it passes it again
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double reading = readings[i], time = times[i];
        if (std::isnan(reading)) continue;
        if (days.empty() || !days.back().day.holds(time))
            days.push_back({clock.day_of(time), 0, std::isnan(previous) ? time : previous_time, 0});
        DayEnergy& day = days.back();
        day.to = time;
        if (reading < previous) {
            back.push_back({{"at", utc_text(time)},
                            {"by", previous - reading},
                            {"from", previous},
                            {"to", reading}});
            peak = std::fmax(peak, previous);
        } else if (reading >= peak) {
            day.energy += reading - peak;
            peak = NAN;
        } else if (!std::isnan(previous)) {
            day.energy += reading - previous;
        }
        previous = reading, previous_time = time;
    }

    nlohmann::json chart{{"kind", "daily"}, {"unit", unit}, {"quantity", quantity}};
    nlohmann::json dates = nlohmann::json::array(), middles = nlohmann::json::array(),
                   starts = nlohmann::json::array(), ends = nlohmann::json::array(),
                   partial = nlohmann::json::array(), values = nlohmann::json::array();
    for (const DayEnergy& d : days) {
        dates.push_back(d.day.date);
        middles.push_back((d.day.start + d.day.end) / 2);
        starts.push_back(d.day.start);
        ends.push_back(d.day.end);
        partial.push_back(d.from > d.day.start - interval / 2 || d.to < d.day.end - 1.5 * interval);
        values.push_back(d.energy);
    }
    chart["days"] = std::move(dates);
    chart["x"] = std::move(middles);
    chart["starts"] = std::move(starts);
    chart["ends"] = std::move(ends);
    chart["partial"] = std::move(partial);
    chart["series"] = nlohmann::json::array({{{"name", quantity}, {"values", std::move(values)}}});
    chart["counter_back"] = std::move(back);
    return chart;
}

}  // namespace kreport
