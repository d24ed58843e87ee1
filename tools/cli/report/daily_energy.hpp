// SPDX-License-Identifier: MIT
// Energy per day of one counter (kWh import, kvarh export, ...), over the meter's calendar days.
#pragma once

#include "report/zone_time.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace kreport {

// The bar chart of one counter given its readings (NaN where a record has none) at `times`,
// ascending, records `interval` seconds apart as a rule:
// {"kind":"daily","unit","quantity","days":[date],"x":[middle of each day],"starts","ends",
//  "partial":[bool],"series":[{"name","values"}],"counter_back":[{"at","by","from","to"}]}.
// A day's energy is its last reading less the previous day's last, its own first reading for the
// first day. A counter that goes back (a glitch or a reset) is listed under "counter_back" and
// that step left out; once it passes the reading it went back from again, only what lies above
// that reading counts, so a glitch adds nothing and a reset loses at most that one step.
// A day is partial when its energy starts later or ends earlier than about a record interval
// before the day's own start and end: always the first day, and the last when it is cut short.
nlohmann::json daily_energy(const std::string& quantity, const std::string& unit,
                            const std::vector<double>& times, const std::vector<double>& readings,
                            double interval, const ZoneClock& clock);

}  // namespace kreport
