// SPDX-License-Identifier: MIT
#include "report/log_series.hpp"

#include "energy/counter_series.hpp"
#include "report/daily_energy.hpp"
#include "report/downsample.hpp"
#include "report/utc_time.hpp"

#include <algorithm>
#include <cmath>

namespace kreport {
namespace {

// Seconds as the page reads them: whole milliseconds.
double page_time(double seconds) { return std::round(seconds * 1000.0) / 1000.0; }

}  // namespace

void LogSeries::add(double time, int seq, const std::string& name, const std::string& unit,
                    double value) {
    if (times_.empty() || times_.back() != time || seqs_.back() != seq) {
        times_.push_back(time);
        seqs_.push_back(seq);
        for (std::vector<double>& column : values_) column.push_back(NAN);
    }
    auto [at, added] = index_.try_emplace({name, unit}, columns_.size());
    if (added) {
        columns_.emplace_back(name, unit);
        values_.emplace_back(times_.size(), NAN);
    }
    values_[at->second].back() = value;
}

double LogSeries::interval() const {
    std::vector<double> steps;
    for (std::size_t i = 1; i < times_.size(); ++i)
        if (times_[i] > times_[i - 1]) steps.push_back(times_[i] - times_[i - 1]);
    if (steps.empty()) return 0;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return steps[steps.size() / 2];
}

std::vector<std::size_t> LogSeries::gap_starts() const {
    std::vector<std::size_t> starts;
    const double step = interval();
    if (step <= 0) return starts;
    for (std::size_t i = 1; i < times_.size(); ++i)
        if (times_[i] - times_[i - 1] > 1.5 * step) starts.push_back(i - 1);
    return starts;
}

nlohmann::json LogSeries::charts(const ZoneClock& clock, std::size_t max_points) const {
    std::vector<std::string> units;
    std::map<std::string, std::vector<std::size_t>> by_unit;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        const std::string& unit = columns_[c].second;
        if (!by_unit.count(unit)) units.push_back(unit);
        by_unit[unit].push_back(c);
    }
    nlohmann::json charts = nlohmann::json::array();
    for (const std::string& unit : units) {
        if (!kenergy::is_energy_unit(unit)) {
            charts.push_back(line_chart(unit, by_unit[unit], max_points));
            continue;
        }
        for (std::size_t c : by_unit[unit])
            charts.push_back(daily_energy(columns_[c].first, unit, times_, values_[c], clock));
    }
    return charts;
}

nlohmann::json LogSeries::line_chart(const std::string& unit,
                                     const std::vector<std::size_t>& columns,
                                     std::size_t max_points) const {
    std::vector<const std::vector<double>*> series;
    for (std::size_t c : columns) series.push_back(&values_[c]);
    std::vector<std::size_t> kept = keep_extremes(times_.size(), series, max_points);
    // Both ends of every gap stay, so that the line breaks exactly there.
    const std::vector<std::size_t> gaps = gap_starts();
    for (std::size_t i : gaps) kept.insert(kept.end(), {i, i + 1});
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());

    nlohmann::json x = nlohmann::json::array();
    std::vector<nlohmann::json> values(columns.size(), nlohmann::json::array());
    std::size_t next_gap = 0;
    for (std::size_t i : kept) {
        x.push_back(page_time(times_[i]));
        for (std::size_t s = 0; s < columns.size(); ++s)
            values[s].push_back(values_[columns[s]][i]);  // NaN: null
        while (next_gap < gaps.size() && gaps[next_gap] < i) ++next_gap;
        if (next_gap < gaps.size() && gaps[next_gap] == i) {
            // A point without values in the middle of the gap.
            x.push_back(page_time((times_[i] + times_[i + 1]) / 2));
            for (nlohmann::json& v : values) v.push_back(nullptr);
        }
    }
    nlohmann::json chart{
        {"kind", "line"}, {"unit", unit}, {"x", std::move(x)}, {"series", nlohmann::json::array()}};
    for (std::size_t s = 0; s < columns.size(); ++s)
        chart["series"].push_back(
            {{"name", columns_[columns[s]].first}, {"values", std::move(values[s])}});
    return chart;
}

}  // namespace kreport
