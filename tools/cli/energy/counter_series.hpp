// SPDX-License-Identifier: MIT
// The energy counters a meter's data logs recorded (the columns whose unit is an energy: Wh,
// varh or VAh, with any prefix), each as its readings in time order, read from the collected
// database.
#pragma once

#include "database/database.hpp"
#include "energy/interval_energy.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace kenergy {

struct CounterKey {
    int file_id = 0;
    std::string name, unit;  // the log's column
    auto operator<=>(const CounterKey&) const = default;
};

using CounterReadings = std::map<CounterKey, std::vector<Reading>>;

// Whether a column's unit counts energy.
bool is_energy_unit(const std::string& unit);

// Thrown by read_counters() once Ctrl-C was pressed.
struct Interrupted {};

// The counters of meter `serial` recorded in [from, to) (UTC texts; nothing: unbounded), of
// every data log or of one.
CounterReadings read_counters(kdb::Database& database, std::int64_t serial,
                              const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              std::optional<int> file_id = std::nullopt);

}  // namespace kenergy
