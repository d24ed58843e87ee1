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

namespace kexp {

// Energies that only grow (import, export, total) are counters; net energies, which fall while
// energy is exported, are gauges (kolvane_net_energy_watthours, ...).
bool is_energy_counter(std::uint16_t pid);

std::string probe_exposition(const ProbeTarget& target, const ProbeResult& result);

}  // namespace kexp
