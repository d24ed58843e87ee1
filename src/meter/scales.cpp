// SPDX-License-Identifier: MIT
#include "meter/scales.hpp"

#include <optional>

#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t EM133_HIGH_RESOLUTION = 2390;
constexpr uint16_t EM133_ENERGY_DECIMALS = 2393;
constexpr uint16_t EM235_ENERGY_DECIMALS = 46258;
constexpr uint16_t ENERGY_SETUP = 56672;

std::optional<uint16_t> try_read_one(ModbusTcpClient& client, uint16_t address) {
    try {
        return read_words(client, address, 1).at(0);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

const char* energy_unit_text(uint16_t code) {
    static constexpr const char* UNITS[] = {"",   "kWh", "kvarh", "kVAh", "m3",
                                            "CF", "CCF", "kL",    "MJ"};
    return code < std::size(UNITS) ? UNITS[code] : "";
}

void apply_resolution(DataScales& scales, uint16_t pt_ratio) {
    scales.current_scale = 0.01;
    scales.current_decimals = 2;
    if (pt_ratio * 0.1 <= 1.05) {
        scales.voltage_scale = 0.1;
        scales.voltage_decimals = 1;
        scales.power_scale = 0.001;
        scales.power_decimals = 3;
    }
}

}  // namespace

DataScales read_data_scales(ModbusTcpClient& client, MeterModel model) {
    DataScales scales;
    const bool em235 = model == MeterModel::EM235;

    if (const auto pt_ratio = try_read_one(client, pt_ratio_register(model))) {
        if (em235) {
            apply_resolution(scales, *pt_ratio);
        } else if (try_read_one(client, EM133_HIGH_RESOLUTION) == uint16_t(1)) {
            apply_resolution(scales, *pt_ratio);
        }
    }

    const auto decimals =
        try_read_one(client, em235 ? EM235_ENERGY_DECIMALS : EM133_ENERGY_DECIMALS);
    if (decimals && *decimals >= 1 && *decimals <= (em235 ? 3 : 4)) {
        scales.energy_decimals = *decimals;
        for (int i = 0; i < *decimals; ++i) scales.energy_scale *= 0.1;
    }

    const int entries = em235 ? 16 : 12;
    scales.energy_units.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        try {
            const auto entry = read_words(client, uint16_t(ENERGY_SETUP + 4 * i), 4);
            scales.energy_units.emplace_back(energy_unit_text(entry.at(1)));
        } catch (const std::exception&) {
            break;
        }
    }
    return scales;
}

}  // namespace kolvane
