// SPDX-License-Identifier: MIT
// The small em133 every fault runs against: identity, scaling, the four live families, a data
// log and an event log of six records served two per block (so a fault on the second block
// follows one block that was delivered completely).
#pragma once

#include <cstdint>
#include <vector>

#include "simulator.hpp"

namespace kfault {

inline constexpr int RECORDS = 6;
inline constexpr int PER_BLOCK = 2;

inline ksim::LogFile data_log(int records = RECORDS) {
    ksim::LogFile file;
    for (int i = 0; i < records; ++i) {
        file.records.push_back(ksim::datalog_record(
            0, uint16_t(101 + i), 1700000000u + 900u * uint32_t(i), 0, 0, {2301 + i, 12345 + i}));
    }
    file.records_per_block = PER_BLOCK;
    file.columns = {0x1100, 0x1400};  // V1, Total kW
    return file;
}

inline ksim::LogFile event_log(int records = RECORDS) {
    ksim::LogFile file;
    for (int i = 0; i < records; ++i) {
        file.records.push_back(
            ksim::event_record(0, uint16_t(201 + i), 1700000000u + 60u * uint32_t(i), 250000,
                               uint16_t(i + 1), i % 2 == 0 ? 0x6300 : 0x6308, 0, 0));
    }
    file.records_per_block = PER_BLOCK;
    return file;
}

// Puts the meter back into its healthy state: no faults, the logs as at start with fresh cursors.
inline void load_fixture(ksim::Simulator& sim) {
    sim.clear_faults();
    ksim::Identity id;
    id.serial = 1201784;
    id.model_id = 133;
    id.model_name = "EM133";
    id.firmware_version = 3;
    id.firmware_build = 12;
    id.bootloader_version = 1;
    id.bootloader_build = 4;
    sim.set_identity(id);
    sim.set_pt_ratio(10);
    sim.set_high_resolution(1);
    sim.set_energy_decimals(2);
    sim.set_energy_units({1, 2, 3});
    for (const uint16_t family : {0x1100, 0x1400, 0x1500, 0x1700})
        sim.set_family_present(family, true);
    sim.set_points({{0x1100, 2301}, {0x1400, 12345}, {0x1502, 5000}, {0x1708, 123456}});
    sim.set_log(1, data_log());
    sim.set_log(0, event_log());
}

}  // namespace kfault
