// SPDX-License-Identifier: MIT
// One data log of one meter as series over time, and what the report draws of it: line charts per
// unit, energy per day of each counter, and the gaps where records are missing.
#pragma once

#include "report/zone_time.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kreport {

// At most this many records per line chart (plus the ends of gaps); the rest is thinned.
inline constexpr std::size_t MAX_CHART_POINTS = 4000;

class LogSeries {
public:
    // Adds a value; a new time or sequence number starts a new record. Rows come in record order.
    void add(double time, int seq, const std::string& name, const std::string& unit, double value);

    std::size_t records() const { return times_.size(); }
    double first_time() const { return times_.front(); }
    double last_time() const { return times_.back(); }

    // The usual spacing of records (the median step), 0 with fewer than two distinct times.
    double interval() const;
    // One line chart per unit, {"kind":"line","unit","x":[seconds],"series":[{"name","values"}]},
    // but one chart of energy per day in `clock`'s days per energy counter (see daily_energy()).
    nlohmann::json charts(const ZoneClock& clock, std::size_t max_points = MAX_CHART_POINTS) const;

private:
    nlohmann::json line_chart(const std::string& unit, const std::vector<std::size_t>& columns,
                              std::size_t max_points) const;
    std::vector<std::size_t> gap_starts() const;

    std::vector<double> times_;
    std::vector<int> seqs_;
    std::vector<std::pair<std::string, std::string>>
        columns_;  // name, unit; in order of appearance
    std::map<std::pair<std::string, std::string>, std::size_t> index_;
    std::vector<std::vector<double>> values_;  // per column, one per record; NaN where it has none
};

}  // namespace kreport
