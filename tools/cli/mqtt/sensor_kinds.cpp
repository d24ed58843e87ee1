// SPDX-License-Identifier: MIT
#include "mqtt/sensor_kinds.hpp"

#include "common/meter_options.hpp"

#include <array>

namespace kmqtt {
namespace {

struct UnitKind {
    const char* meter_unit;
    SensorKind kind;
};

// Home Assistant's units for each device class; energies in kWh, which its energy dashboard
// takes. Counters are total_increasing: a drop is a new cycle, not negative consumption.
const std::array<UnitKind, 14> UNIT_KINDS{{
    {"V", {"voltage", "measurement", "V", 1}},
    {"A", {"current", "measurement", "A", 1}},
    {"W", {"power", "measurement", "W", 1}},
    {"kW", {"power", "measurement", "kW", 1}},
    {"var", {"reactive_power", "measurement", "var", 1}},
    {"kvar", {"reactive_power", "measurement", "var", 1000}},
    {"VA", {"apparent_power", "measurement", "VA", 1}},
    {"kVA", {"apparent_power", "measurement", "VA", 1000}},
    {"Hz", {"frequency", "measurement", "Hz", 1}},
    {"Wh", {"energy", "total_increasing", "kWh", 0.001}},
    {"kWh", {"energy", "total_increasing", "kWh", 1}},
    {"MWh", {"energy", "total_increasing", "kWh", 1000}},
    {"kvarh", {"", "total_increasing", "kvarh", 1}},
    {"kVAh", {"", "total_increasing", "kVAh", 1}},
}};

}  // namespace

SensorKind sensor_kind(const std::string& name, const std::string& unit) {
    const std::string lowered = kcli::lower(name);
    if (unit.empty() && (lowered.starts_with("pf") || lowered.find(" pf") != std::string::npos))
        return {"power_factor", "measurement", "", 1};
    for (const UnitKind& known : UNIT_KINDS) {
        if (unit != known.meter_unit) continue;
        SensorKind kind = known.kind;
        // A net energy (import less export) falls while energy is exported.
        if (kind.state_class == "total_increasing" && lowered.find("net") != std::string::npos)
            kind.state_class = "total";
        return kind;
    }
    return {"", "measurement", unit, 1};
}

}  // namespace kmqtt
