// SPDX-License-Identifier: MIT
// Data log columns: naming and scaling from the catalogue and the meter's scales, the values
// of a record, the columns guessed from a record's size, and the trigger text.
#include <gtest/gtest.h>

#include "datalog/columns.hpp"
#include "support/scales.hpp"

using kolvane::ColumnFormat;
using kolvane::DatalogColumns;
using kolvane::MeterModel;

namespace {

// The record's values as the data log prints them, one text per column.
std::vector<std::string> printed(const kolvane::DatalogColumns& columns,
                                 std::span<const uint16_t> record) {
    std::string line;
    columns.append_values(line, record, ',', true);
    std::vector<std::string> values;
    for (size_t at = 0; at < line.size();) {
        const size_t next = std::min(line.find(',', at + 1), line.size());
        values.push_back(line.substr(at + 1, next - at - 1));
        at = next;
    }
    return values;
}

// High resolution with two energy decimals; energy register 1 counts kWh, 2 counts m3.
kolvane::DataScales scaled() { return ktest::high_resolution_scales({"kWh", "m3", ""}); }

std::string describe(const ColumnFormat& f) {
    return f.label + " | " + f.name + " | " + f.unit + " | " + std::to_string(f.scale) + " | " +
           std::to_string(f.decimals);
}

std::vector<std::string> describe(const DatalogColumns& columns) {
    std::vector<std::string> out;
    for (const ColumnFormat& f : columns.columns) out.push_back(describe(f));
    return out;
}

TEST(DatalogColumnsResolve, NamesScalesAndUnitsFromCatalogueAndScales) {
    DatalogColumns columns;
    columns.scales = scaled();
    columns.point_ids = {0x1100, 0x1103, 0x1400, 0x1403, 0x1780, 0x4780,
                         0x4781, 0x1782, 0x1783, 0x1A2B, 0};
    columns.resolve(11);

    EXPECT_EQ(describe(columns), (std::vector<std::string>{
                                     "V1 (V) | V1 | V | 0.100000 | 1",
                                     "I1 (A) | I1 | A | 0.010000 | 2",
                                     "Total kW (kW) | Total kW | kW | 0.001000 | 3",
                                     "Total PF | Total PF |  | 0.001000 | 3",
                                     "Energy REG1 (kWh) | Energy REG1 | kWh | 0.010000 | 2",
                                     "Max demand REG1 (kW) | Max demand REG1 | kW | 0.001000 | 3",
                                     "Max demand REG2 (m3) | Max demand REG2 | m3 | 0.001000 | 3",
                                     "Energy REG3 | Energy REG3 |  | 0.010000 | 2",
                                     "Energy REG4 | Energy REG4 |  | 0.010000 | 2",
                                     "Param_10 (0x1A2B) | Param_10 (0x1A2B) |  | 1.000000 | 0",
                                     "Param_11 | Param_11 |  | 1.000000 | 0",
                                 }));
}

TEST(DatalogColumnsResolve, MorePositionsThanPointIdsGetParamNames) {
    DatalogColumns columns;
    columns.point_ids = {0x1100};
    columns.resolve(3);

    EXPECT_EQ(describe(columns), (std::vector<std::string>{"V1 (V) | V1 | V | 1.000000 | 0",
                                                           "Param_2 | Param_2 |  | 1.000000 | 0",
                                                           "Param_3 | Param_3 |  | 1.000000 | 0"}));
    columns.resolve(0);
    EXPECT_TRUE(columns.columns.empty());
}

TEST(DatalogColumnsResolve, UnbalanceHasOneDecimalOnlyOnEm235) {
    DatalogColumns em133;
    em133.point_ids = {0x1003};
    em133.resolve(1);
    DatalogColumns em235;
    em235.model = MeterModel::EM235;
    em235.point_ids = {0x1003};
    em235.resolve(1);

    const std::vector<uint16_t> record = {0, 1, 0, 0, 0, 0, 0, 0, 15, 0};
    EXPECT_EQ(printed(em133, record), std::vector<std::string>{"15"});
    EXPECT_EQ(printed(em235, record), std::vector<std::string>{"1.5"});
}

// A record of w words holds (w - 8) / 2 values; the columns are guessed from the first
// record of 10 words or more.
TEST(DatalogColumnsResolve, FromRecordSize) {
    const std::pair<size_t, size_t> cases[] = {{0, 0},  {8, 0},  {9, 0},  {10, 1},
                                               {11, 1}, {14, 3}, {40, 16}};
    for (const auto& [words, count] : cases) {
        DatalogColumns columns;
        columns.resolve_from_record(words);
        EXPECT_EQ(columns.columns.size(), count) << words << " words";
    }
    DatalogColumns columns;
    columns.resolve_from_record(14);
    EXPECT_EQ(describe(columns), (std::vector<std::string>{"Param_1 | Param_1 |  | 1.000000 | 0",
                                                           "Param_2 | Param_2 |  | 1.000000 | 0",
                                                           "Param_3 | Param_3 |  | 1.000000 | 0"}));
}

TEST(DatalogColumnsValues, TakesOnlyCompletePairsAndNeverMoreThanColumns) {
    DatalogColumns columns;
    columns.resolve(4);
    // words 8-9 and 10-11 are complete; word 12 has no partner
    const std::vector<uint16_t> thirteen = {0, 1, 2, 3, 4, 5, 6, 7, 5, 0, 0xFFFF, 0xFFFF, 9};
    EXPECT_EQ(printed(columns, thirteen), (std::vector<std::string>{"5", "-1"}));

    DatalogColumns one;
    one.resolve(1);
    const std::vector<uint16_t> longer = {0, 1, 2, 3, 4, 5, 6, 7, 1, 0, 2, 0, 3, 0};
    EXPECT_EQ(printed(one, longer), std::vector<std::string>{"1"});
    EXPECT_TRUE(printed(one, std::vector<uint16_t>(9, 0)).empty());
}

// Values are signed 32-bit, low word first, scaled and printed to the column's decimals.
TEST(DatalogColumnsValues, SignedLowWordFirstScaled) {
    DatalogColumns columns;
    columns.scales = scaled();
    columns.point_ids = {0x1100, 0x1400, 0x1403, 0x1780, 0x1A2B, 0x1100};
    columns.resolve(6);
    const std::vector<uint16_t> record = {
        0,      1,      0, 0, 0, 0, 0, 0, 2301, 0,  // V1: 230.1
        0xCFC7, 0xFFFF,                             // Total kW: -12345 -> -12.345
        0xFC4A, 0xFFFF,                             // Total PF: -950 -> -0.950
        0xE240, 0x0001,                             // Energy REG1: 123456 -> 1234.56
        0x0000, 0x8000,  // uncatalogued: the smallest 32-bit value, unscaled
        0xFFFF, 0x7FFF,  // V1: the largest 32-bit value, scaled
    };
    EXPECT_EQ(printed(columns, record),
              (std::vector<std::string>{"230.1", "-12.345", "-0.950", "1234.56", "-2147483648",
                                        "214748364.7"}));
}

TEST(TriggerEventType, SetpointsUpTo16ThenHex) {
    const std::pair<uint16_t, const char*> cases[] = {
        {0, "SP"},      {1, "SP1"},         {9, "SP9"},         {16, "SP16"},
        {17, "0x0011"}, {0xABCD, "0xABCD"}, {0xFFFF, "0xFFFF"},
    };
    for (const auto& [type, text] : cases) EXPECT_EQ(kolvane::fmt_trigger_event_type(type), text);
}

}  // namespace
