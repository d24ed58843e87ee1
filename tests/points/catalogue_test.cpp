// SPDX-License-Identifier: MIT
// The point catalogue and the table of readable register families.
#include <gtest/gtest.h>

#include <string>

#include "points/catalogue.hpp"

namespace {

using kolvane::FAMILY_BLOCKS;
using kolvane::family_of;
using kolvane::Kind;
using kolvane::param_table;

TEST(Catalogue, Holds237EntriesOf205AreReadable) {
    const auto& table = param_table();
    EXPECT_EQ(table.size(), 237u);
    size_t readable = 0;
    for (const auto& entry : table) readable += family_of(entry.first) != nullptr;
    EXPECT_EQ(readable, 205u);
    EXPECT_EQ(&param_table(), &table) << "built once";
}

TEST(Catalogue, Entries) {
    struct Row {
        uint16_t pid;
        const char* name;
        const char* unit;
        Kind kind;
        int energy_register;
    };
    const Row rows[] = {
        {0x0C00, "V1", "V", Kind::Voltage, 0},
        {0x0C05, "I3", "A", Kind::Current, 0},
        {0x0C08, "kW L3", "kW", Kind::Power, 0},
        {0x0C0A, "kvar L2", "kvar", Kind::Power, 0},
        {0x0C0C, "kVA L1", "kVA", Kind::Power, 0},
        {0x0C0F, "PF L1", "", Kind::PowerFactor, 0},
        {0x0C14, "V3 THD", "%", Kind::Percent, 0},
        {0x0C15, "I1 THD", "%", Kind::Percent, 0},
        {0x0C18, "I1 K-Factor", "", Kind::KFactor, 0},
        {0x0C1D, "I3 TDD", "%", Kind::Percent, 0},
        {0x0C1E, "V12", "V", Kind::Voltage, 0},
        {0x0C20, "V31", "V", Kind::Voltage, 0},
        {0x1100, "V1", "V", Kind::Voltage, 0},
        {0x1120, "V31", "V", Kind::Voltage, 0},
        {0x0F00, "Total kW", "kW", Kind::Power, 0},
        {0x0F05, "Total PF lead", "", Kind::PowerFactor, 0},
        {0x0F0C, "I avg", "A", Kind::Current, 0},
        {0x1409, "Total kvar export", "kvar", Kind::Power, 0},
        {0x140B, "V L-L avg", "V", Kind::Voltage, 0},
        {0x1000, "I4", "A", Kind::Current, 0},
        {0x1002, "Frequency", "Hz", Kind::Frequency2, 0},
        {0x1004, "I unbalance", "%", Kind::Unbalance, 0},
        {0x1008, "Frequency", "Hz", Kind::Frequency3, 0},
        {0x100A, "I leakage", "A", Kind::Current, 0},
        {0x100B, "FREQ4C", "Hz", Kind::Frequency3, 0},
        {0x100C, "FREQ4", "Hz", Kind::Frequency4, 0},
        {0x1503, "V unbalance", "%", Kind::Unbalance, 0},
        {0x150A, "Frequency", "Hz", Kind::Frequency3, 0},
        {0x150E, "I leakage", "A", Kind::Current, 0},
        {0x1080, "V1 mag", "V", Kind::Voltage, 0},
        {0x1086, "I3 mag", "A", Kind::Current, 0},
        {0x1087, "I4 mag", "A", Kind::Current, 0},
        {0x108A, "V3 angle", "deg", Kind::Angle, 0},
        {0x108C, "I1 angle", "deg", Kind::Angle, 0},
        {0x108F, "I4 angle", "deg", Kind::Angle, 0},
        {0x1602, "V3 demand", "V", Kind::Voltage, 0},
        {0x1605, "I3 demand", "A", Kind::Current, 0},
        {0x1606, "kW import block demand", "kW", Kind::Power, 0},
        {0x1614, "kVA predicted demand", "kVA", Kind::Power, 0},
        {0x1615, "PF at max kVA demand", "", Kind::PowerFactor, 0},
        {0x161D, "kvar export predicted demand", "kvar", Kind::Power, 0},
        {0x1622, "In demand", "A", Kind::Current, 0},
        {0x1700, "kWh import", "kWh", Kind::Energy, 0},
        {0x1707, "kvarh total", "kvarh", Kind::Energy, 0},
        {0x1708, "kVAh total", "kVAh", Kind::Energy, 0},
        {0x170C, "kVAh export", "kVAh", Kind::Energy, 0},
        {0x3700, "V1 max demand", "V", Kind::Voltage, 0},
        {0x3705, "I3 max demand", "A", Kind::Current, 0},
        {0x370B, "Max kVA SW demand", "kVA", Kind::Power, 0},
        {0x3710, "Max kvar export SW demand", "kvar", Kind::Power, 0},
        {0x3715, "In max demand", "A", Kind::Current, 0},
        {0x1780, "Energy REG1", "", Kind::Energy, 1},
        {0x178F, "Energy REG16", "", Kind::Energy, 16},
        {0x4780, "Max demand REG1", "", Kind::Power, 1},
        {0x478F, "Max demand REG16", "", Kind::Power, 16},
        {0x7000, "Tariff 1 energy", "", Kind::Energy, 0},
        {0x700F, "Tariff 16 energy", "", Kind::Energy, 0},
        {0x7100, "Tariff 1 max demand", "", Kind::Power, 0},
        {0x710F, "Tariff 16 max demand", "", Kind::Power, 0},
    };
    const auto& table = param_table();
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "point 0x" << std::hex << row.pid);
        const auto found = table.find(row.pid);
        ASSERT_NE(found, table.end());
        EXPECT_EQ(found->second.name, row.name);
        EXPECT_EQ(found->second.unit, row.unit);
        EXPECT_EQ(found->second.kind, row.kind);
        EXPECT_EQ(found->second.energy_register, row.energy_register);
    }
    for (const uint16_t absent :
         {0x0C21, 0x0F0D, 0x1005, 0x1009, 0x1083, 0x1505, 0x160C, 0x1623, 0x1709, 0x170A, 0x170D,
          0x3706, 0x3716, 0x1790, 0x4790, 0x7010, 0x7110}) {
        EXPECT_EQ(table.count(absent), 0u) << "point 0x" << std::hex << absent;
    }
}

TEST(Catalogue, FamilyBlocks) {
    struct Row {
        uint16_t base, em133, em235;
        const char* name;
    };
    const Row expected[12] = {
        {0x0C00, 13312, 13312, "1-cycle phase values"},
        {0x0F00, 13696, 13696, "1-cycle total values"},
        {0x1000, 13824, 13824, "1-cycle auxiliary values"},
        {0x1080, 13864, 13888, "fundamental phasor values"},
        {0x1100, 13952, 13952, "1-second phase values"},
        {0x1400, 14336, 14336, "1-second total values"},
        {0x1500, 14464, 14464, "1-second auxiliary values"},
        {0x1600, 14592, 14592, "present demands"},
        {0x1700, 14720, 14720, "total energies"},
        {0x1780, 14760, 14784, "billing summary energy registers"},
        {0x3700, 18816, 18816, "maximum demands"},
        {0x4780, 20904, 20928, "billing summary maximum demands"},
    };
    for (size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(FAMILY_BLOCKS[i].base_pid, expected[i].base);
        EXPECT_EQ(FAMILY_BLOCKS[i].em133_register, expected[i].em133);
        EXPECT_EQ(FAMILY_BLOCKS[i].em235_register, expected[i].em235);
        EXPECT_EQ(std::string(FAMILY_BLOCKS[i].name), expected[i].name);
    }
}

TEST(Catalogue, FamilyOfAPoint) {
    struct Case {
        uint16_t pid;
        int row;  // -1: no readable family
    };
    const Case cases[] = {
        {0x0C00, 0},  {0x0C21, 0},  {0x0C7F, 0},  {0x0C80, -1}, {0x0FFF, -1}, {0x107F, 2},
        {0x1080, 3},  {0x10FF, 3},  {0x1100, 4},  {0x1780, 9},  {0x17FF, 9},  {0x1800, -1},
        {0x3715, 10}, {0x4780, 11}, {0x7000, -1}, {0x7100, -1}, {0x0000, -1}, {0xFFFF, -1},
    };
    for (const Case& c : cases) {
        const kolvane::FamilyBlock* expected = c.row < 0 ? nullptr : &FAMILY_BLOCKS[c.row];
        EXPECT_EQ(family_of(c.pid), expected) << "point 0x" << std::hex << c.pid;
    }
}

}  // namespace
