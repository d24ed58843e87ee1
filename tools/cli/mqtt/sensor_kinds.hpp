// SPDX-License-Identifier: MIT
// What Home Assistant makes of a meter's quantity: device class, state class and unit, with the
// factor from the meter's unit to that one (kvar to var, Wh to kWh).
#pragma once

#include <string>

namespace kmqtt {

struct SensorKind {
    std::string device_class;  // empty: none
    std::string state_class;   // measurement, total or total_increasing
    std::string unit;          // empty: none
    double factor = 1;         // published value = meter value x factor
};

// The kind of the meter's quantity `name` measured in `unit`.
SensorKind sensor_kind(const std::string& name, const std::string& unit);

}  // namespace kmqtt
