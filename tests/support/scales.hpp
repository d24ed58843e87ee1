// SPDX-License-Identifier: MIT
// The scaling of a high-resolution meter with two energy decimals, as tests need it without
// a meter: voltages 0.1, currents 0.01, powers 0.001, energies 0.01.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "meter/scales.hpp"

namespace ktest {

inline kolvane::DataScales high_resolution_scales(std::vector<std::string> energy_units) {
    kolvane::DataScales s;
    s.voltage_scale = 0.1;
    s.voltage_decimals = 1;
    s.current_scale = 0.01;
    s.current_decimals = 2;
    s.power_scale = 0.001;
    s.power_decimals = 3;
    s.energy_scale = 0.01;
    s.energy_decimals = 2;
    s.energy_units = std::move(energy_units);
    return s;
}

}  // namespace ktest
