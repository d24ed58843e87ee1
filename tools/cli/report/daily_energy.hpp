// SPDX-License-Identifier: MIT
// Energy per day and month of one counter (kWh import, kvarh export, ...), over the meter's
// calendar days, as `kolvane energy` reckons it.
#pragma once

#include "report/zone_time.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace kreport {

// The bar chart of one counter given its readings (NaN where a record has none) at `times`
// (seconds since 1970), ascending:
// {"kind":"daily","unit","quantity","days":[date],"x":[middle of each day],"starts","ends",
//  "partial":[bool],"series":[{"name","values"}],"holes":[energy over holes across midnight],
//  "glitches":[{"at","from","to"}],"months":[{"month","energy","partial","peak"}]}.
// A day holds the intervals that end in (00:00, 24:00] of the meter's clock; a record left out
// as a glitch is listed with the reading before it, and the energy counts on from that one. A
// month's peak is the highest average power of one interval, {"power","unit","start"} with the
// interval's start in seconds.
nlohmann::json daily_energy(const std::string& quantity, const std::string& unit,
                            const std::vector<double>& times, const std::vector<double>& readings,
                            const ZoneClock& clock);

}  // namespace kreport
