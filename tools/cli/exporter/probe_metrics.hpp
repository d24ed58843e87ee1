// SPDX-License-Identifier: MIT
// A probe's answer in the exposition format: kolvane_up, kolvane_probe_duration_seconds,
// kolvane_probe_retries and, when the meter answered, its identity (with the target's unit and
// hosts file name) and live values: one family per quantity in its base unit
// (kolvane_voltage_volts, kolvane_power_watts, kolvane_energy_watthours_total, ...), the point's
// name in the label `point`.
#pragma once

#include "exporter/meter_probe.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace kexp {

// A metric family of readings in one base unit: the live values and the backfilled data log
// history both name a point's family here, so that their series join.
struct PointFamily {
    std::string_view meter_unit;
    std::string_view name_part;  // in the point's name; empty: any
    bool counter;
    std::string_view name;  // as a sample is named: counters end in _total
    int decimal_shift;      // the sample is the meter's value times 10^decimal_shift
    std::string_view help;
    std::string_view base_unit;  // the name's unit suffix ("volts"); empty for a plain number
    bool generic;                // kolvane_value(_total): the meter's unit as the label `unit`
};

// The family of a point of the meter's `unit` and name `point`: the first whose meter unit,
// name part and counter kind match it, else kolvane_value or kolvane_value_total.
const PointFamily& point_family(std::string_view unit, std::string_view point, bool counter);

// The meter's `value` in the family's base unit, exactly: 2.62 kW is 2620 W, 2.1 % is 0.021.
double base_unit_value(const PointFamily& family, double value);

// Energies that only grow (import, export, total) are counters; net energies, which fall while
// energy is exported, are gauges (kolvane_net_energy_watthours, ...).
bool is_energy_counter(std::uint16_t pid);

std::string probe_exposition(const ProbeTarget& target, const ProbeResult& result);

}  // namespace kexp
