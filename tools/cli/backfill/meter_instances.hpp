// SPDX-License-Identifier: MIT
// Each stored meter's `instance` label as the README's Prometheus configuration gives its live
// series: HOST:PORT for a meter of its own at unit 1, HOST:PORT/UNIT for a unit named in the
// scrape configuration, which a gateway's meters need (each unit a target group of its own).
#pragma once

#include "database/database.hpp"

#include <cstdint>
#include <map>
#include <string>

namespace kbackfill {

struct MeterSeries {
    std::string model;     // canonical model name, for the point catalogue
    std::string instance;  // the label
};

// Every meter of the database by serial. A meter's unit is the one its newest collection pass
// answered at (unit 1 for a database from before passes were recorded); a meter shares a gateway
// when another stored meter has the same HOST:PORT, and then even its unit 1 is named.
std::map<std::int64_t, MeterSeries> meter_series(kdb::Database& database);

}  // namespace kbackfill
