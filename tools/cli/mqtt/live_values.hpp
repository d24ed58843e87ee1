// SPDX-License-Identifier: MIT
// A meter's live values as kolvane mqtt publishes them at <prefix>/<meter>/live, one JSON
// message per read: each quantity under a key that Home Assistant's templates can name.
#pragma once

#include "mqtt/sensor_kinds.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace kmqtt {

struct Quantity {
    std::string key;   // "kwh_import": the quantity's name made topic-safe, unique in the meter
    std::string name;  // "kWh import", as the library names it
    SensorKind kind;
    double value = 0;  // in kind.unit
};

struct LiveValues {
    std::string time;  // UTC, "2026-12-06T16:09:04.007Z"
    std::vector<Quantity> quantities;
};

// The quantities of the library's readings document. Throws for a malformed one.
LiveValues live_values(const std::string& readings);

// {"serial":..,"time":"..Z","meter_time":"..","quantities":{"v1":{"name":"V1","value":230.1,
// "unit":"V"},..}}; "meter_time", the meter's wall time, only when `zone` names its clock's zone.
std::string live_payload(std::int64_t serial, const LiveValues& live, const std::string& zone);

}  // namespace kmqtt
