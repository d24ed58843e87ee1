// SPDX-License-Identifier: MIT
#include "meter/scales.hpp"

#include <optional>
#include <stdexcept>

#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t EM133_HIGH_RESOLUTION = 2390;
constexpr uint16_t EM133_ENERGY_DECIMALS = 2393;
constexpr uint16_t EM235_ENERGY_DECIMALS = 46258;
constexpr uint16_t ENERGY_SETUP = 56672;

// Reads a setting: nothing when the meter has no such register. Any other failure (busy, a
// gateway's exception, a time limit) says nothing of the setup, and values printed with the
// default in its place would be wrong by powers of ten: it fails the call, naming the setting.
std::optional<std::vector<uint16_t>> read_setting(ModbusTcpClient& client, uint16_t address,
                                                  uint16_t count, const char* what) {
    try {
        return read_words(client, address, count);
    } catch (const std::exception& e) {
        if (says_absent(e)) return std::nullopt;
        throw std::runtime_error(std::string("Cannot read the ") + what + " (register " +
                                 std::to_string(address) + "): " + e.what());
    }
}

std::optional<uint16_t> read_one(ModbusTcpClient& client, uint16_t address, const char* what) {
    const auto words = read_setting(client, address, 1, what);
    return words ? std::optional(words->at(0)) : std::nullopt;
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
    const uint16_t decimals_register = em235 ? EM235_ENERGY_DECIMALS : EM133_ENERGY_DECIMALS;

    // On the em133 the high-resolution setting and the energy decimals lie in one range of
    // four registers, read at once; a meter without the registers between them has each read
    // on its own.
    std::optional<uint16_t> high_resolution, decimals;
    const auto pt_ratio = read_one(client, pt_ratio_register(model), "PT ratio");
    if (!em235) {
        const uint16_t span = EM133_ENERGY_DECIMALS - EM133_HIGH_RESOLUTION + 1;
        if (const auto words = read_setting(client, EM133_HIGH_RESOLUTION, span,
                                            "high-resolution setting and energy decimals")) {
            high_resolution = words->front();
            decimals = words->back();
        } else {
            if (pt_ratio) {
                high_resolution =
                    read_one(client, EM133_HIGH_RESOLUTION, "high-resolution setting");
            }
            decimals = read_one(client, decimals_register, "energy decimals");
        }
    } else {
        decimals = read_one(client, decimals_register, "energy decimals");
    }
    scales.pt_ratio = pt_ratio;
    if (pt_ratio && (em235 || high_resolution == uint16_t(1))) apply_resolution(scales, *pt_ratio);

    if (decimals && *decimals >= 1 && *decimals <= (em235 ? 3 : 4)) {
        scales.energy_decimals = *decimals;
        for (int i = 0; i < *decimals; ++i) scales.energy_scale *= 0.1;
    }

    // The energy register setup in one read; a meter that has fewer registers than the model's
    // most has them read entry by entry, up to the first it does not have.
    const int entries = em235 ? 16 : 12;
    scales.energy_units.reserve(entries);
    if (const auto all =
            read_setting(client, ENERGY_SETUP, uint16_t(4 * entries), "energy register setup")) {
        for (int i = 0; i < entries; ++i) {
            scales.energy_units.emplace_back(energy_unit_text((*all)[4 * i + 1]));
        }
        return scales;
    }
    for (int i = 0; i < entries; ++i) {
        const auto entry =
            read_setting(client, uint16_t(ENERGY_SETUP + 4 * i), 4, "energy register setup");
        if (!entry) break;  // the meter has no more energy registers
        scales.energy_units.emplace_back(energy_unit_text(entry->at(1)));
    }
    return scales;
}

}  // namespace kolvane
