// SPDX-License-Identifier: MIT
// The meter's scaling setup: how raw voltages, currents, powers and energies are printed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

struct DataScales {
    double voltage_scale = 1.0;
    double current_scale = 1.0;
    double power_scale = 1.0;
    double energy_scale = 1.0;
    int voltage_decimals = 0;
    int current_decimals = 0;
    int power_decimals = 0;
    int energy_decimals = 0;
    // Unit text of each configurable energy register; element 0 belongs to register 1.
    std::vector<std::string> energy_units;
    // The PT ratio in tenths as read; nothing when the meter has no such register.
    std::optional<uint16_t> pt_ratio;
};

// A setting the meter does not have leaves its default; any other failure to read one fails,
// naming the setting.
DataScales read_data_scales(ModbusTcpClient& client, MeterModel model);

// Register of the PT ratio, in tenths.
constexpr uint16_t pt_ratio_register(MeterModel model) {
    return model == MeterModel::EM235 ? 46209 : 2305;
}

}  // namespace kolvane
