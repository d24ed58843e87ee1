// SPDX-License-Identifier: MIT
// The rows `kolvane energy` prints, as JSON lines, CSV or an aligned table.
#pragma once

#include "energy/energy_periods.hpp"

#include <cctz/time_zone.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace kenergy {

struct CounterOf {
    std::int64_t serial = 0;
    std::string name;  // the site's name for the meter, empty when it has none
    int file_id = 0;
    std::string counter, unit;
    const cctz::time_zone* zone = nullptr;
    const std::vector<std::string>* tariff_periods = nullptr;  // with a tariff: its periods
};

// One period's figures as a JSON object: times in UTC and on the meter's clock.
nlohmann::ordered_json period_row(const CounterOf& of, const PeriodEnergy& period);
// A peak as a JSON object (null for none): its power and unit, then its interval's times.
nlohmann::ordered_json peak_object(const CounterOf& of, const std::optional<Peak>& peak);
// One interval as a JSON object, its flags "glitch" or "gap" (or none).
nlohmann::ordered_json interval_row(const CounterOf& of, const Interval& interval);

// "kW" for "kWh": the unit of a counter's average power.
std::string power_unit(const std::string& energy_unit);

// Prints `rows` (objects of one shape) as a CSV file with a header, or as a table.
void print_csv(const std::vector<nlohmann::ordered_json>& rows);
void print_table(const std::vector<nlohmann::ordered_json>& rows);

}  // namespace kenergy
