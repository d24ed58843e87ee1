// SPDX-License-Identifier: MIT
#include "support/datalog_meter.hpp"

#include <cstdint>
#include <vector>

namespace kbench {
namespace {

// V1-V3, I1-I3, kW L1-L3, total kW, kvar, kVA, PF, frequency, kWh import, kWh export.
const std::vector<std::uint16_t> POINTS = {0x1100, 0x1101, 0x1102, 0x1103, 0x1104, 0x1105,
                                           0x1106, 0x1107, 0x1108, 0x1400, 0x1401, 0x1402,
                                           0x1403, 0x1502, 0x1700, 0x1701};

// Raw values in the meter's units (0.1 V, 0.01 A, 0.001 kW, 0.001 PF, 0.01 Hz, 0.01 kWh).
std::vector<std::int32_t> values_at(int i) {
    const std::int32_t wobble = i % 17;
    const std::int32_t kw = 2810 + wobble * 3;
    return {2301 + wobble,
            2298 - wobble,
            2305,
            1250 + wobble,
            1237,
            1262 - wobble,
            kw,
            kw - 14,
            kw + 9,
            3 * kw,
            410 + wobble,
            8700,
            972 - wobble % 5,
            5000 + wobble % 3,
            12345678 + i * 71,
            1024 + i / 100};
}

}  // namespace

void add_datalog(ksim::Meter& meter, int file_id, int records) {
    static_assert(COLUMNS == 16);
    ksim::LogFile file;
    file.columns = POINTS;
    file.records_per_block = RECORDS_PER_BLOCK;
    file.records.reserve(std::size_t(records));
    const std::uint32_t first = 1700000000u;
    for (int i = 0; i < records; ++i) {
        file.records.push_back(ksim::datalog_record(
            0, std::uint16_t(i + 1), first + 900u * std::uint32_t(i), 0, 0, values_at(i)));
    }
    meter.logs[file_id] = std::move(file);
}

}  // namespace kbench
