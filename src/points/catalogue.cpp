// SPDX-License-Identifier: MIT
#include "points/catalogue.hpp"

#include <array>

namespace kolvane {

const FamilyBlock FAMILY_BLOCKS[12] = {
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

const FamilyBlock* family_of(uint16_t pid) noexcept {
    const uint16_t base = pid & 0xFF80;
    for (const FamilyBlock& family : FAMILY_BLOCKS) {
        if (family.base_pid == base) return &family;
    }
    return nullptr;
}

namespace {

using Table = std::map<uint16_t, ParamDef>;

constexpr std::array<const char*, 3> VL = {"V1", "V2", "V3"};
constexpr std::array<const char*, 3> IL = {"I1", "I2", "I3"};
constexpr std::array<const char*, 3> VLL = {"V12", "V23", "V31"};

void add(Table& table, uint16_t pid, std::string name, std::string unit, Kind kind) {
    table.try_emplace(pid, ParamDef{std::move(name), std::move(unit), kind, 0});
}

void add_phase_family(Table& t, uint16_t base) {
    for (int k = 0; k < 3; ++k) {
        const std::string p = std::to_string(k + 1);
        const std::string v = VL[k], i = IL[k];
        add(t, uint16_t(base + k), v, "V", Kind::Voltage);
        add(t, uint16_t(base + 3 + k), i, "A", Kind::Current);
        add(t, uint16_t(base + 6 + k), "kW L" + p, "kW", Kind::Power);
        add(t, uint16_t(base + 9 + k), "kvar L" + p, "kvar", Kind::Power);
        add(t, uint16_t(base + 12 + k), "kVA L" + p, "kVA", Kind::Power);
        add(t, uint16_t(base + 15 + k), "PF L" + p, "", Kind::PowerFactor);
        add(t, uint16_t(base + 18 + k), v + " THD", "%", Kind::Percent);
        add(t, uint16_t(base + 21 + k), i + " THD", "%", Kind::Percent);
        add(t, uint16_t(base + 24 + k), i + " K-Factor", "", Kind::KFactor);
        add(t, uint16_t(base + 27 + k), i + " TDD", "%", Kind::Percent);
        add(t, uint16_t(base + 30 + k), VLL[k], "V", Kind::Voltage);
    }
}

void add_total_family(Table& t, uint16_t base) {
    struct Row {
        const char* name;
        const char* unit;
        Kind kind;
    };
    static constexpr Row ROWS[] = {
        {"Total kW", "kW", Kind::Power},
        {"Total kvar", "kvar", Kind::Power},
        {"Total kVA", "kVA", Kind::Power},
        {"Total PF", "", Kind::PowerFactor},
        {"Total PF lag", "", Kind::PowerFactor},
        {"Total PF lead", "", Kind::PowerFactor},
        {"Total kW import", "kW", Kind::Power},
        {"Total kW export", "kW", Kind::Power},
        {"Total kvar import", "kvar", Kind::Power},
        {"Total kvar export", "kvar", Kind::Power},
        {"V avg", "V", Kind::Voltage},
        {"V L-L avg", "V", Kind::Voltage},
        {"I avg", "A", Kind::Current},
    };
    for (size_t i = 0; i < std::size(ROWS); ++i) {
        add(t, uint16_t(base + i), ROWS[i].name, ROWS[i].unit, ROWS[i].kind);
    }
}

struct Entry {
    uint16_t pid;
    const char* name;
    const char* unit;
    Kind kind;
};

constexpr Entry AUXILIARY[] = {
    {0x1000, "I4", "A", Kind::Current},
    {0x1001, "In", "A", Kind::Current},
    {0x1002, "Frequency", "Hz", Kind::Frequency2},
    {0x1003, "V unbalance", "%", Kind::Unbalance},
    {0x1004, "I unbalance", "%", Kind::Unbalance},
    {0x1008, "Frequency", "Hz", Kind::Frequency3},
    {0x100A, "I leakage", "A", Kind::Current},
    {0x100B, "FREQ4C", "Hz", Kind::Frequency3},
    {0x100C, "FREQ4", "Hz", Kind::Frequency4},
    {0x1500, "I4", "A", Kind::Current},
    {0x1501, "In", "A", Kind::Current},
    {0x1502, "Frequency", "Hz", Kind::Frequency2},
    {0x1503, "V unbalance", "%", Kind::Unbalance},
    {0x1504, "I unbalance", "%", Kind::Unbalance},
    {0x150A, "Frequency", "Hz", Kind::Frequency3},
    {0x150E, "I leakage", "A", Kind::Current},
};

constexpr Entry DEMANDS[] = {
    {0x1606, "kW import block demand", "kW", Kind::Power},
    {0x1607, "kvar import block demand", "kvar", Kind::Power},
    {0x1608, "kVA block demand", "kVA", Kind::Power},
    {0x1609, "kW import SW demand", "kW", Kind::Power},
    {0x160A, "kvar import SW demand", "kvar", Kind::Power},
    {0x160B, "kVA SW demand", "kVA", Kind::Power},
    {0x160F, "kW import acc demand", "kW", Kind::Power},
    {0x1610, "kvar import acc demand", "kvar", Kind::Power},
    {0x1611, "kVA acc demand", "kVA", Kind::Power},
    {0x1612, "kW import predicted demand", "kW", Kind::Power},
    {0x1613, "kvar import predicted demand", "kvar", Kind::Power},
    {0x1614, "kVA predicted demand", "kVA", Kind::Power},
    {0x1615, "PF at max kVA demand", "", Kind::PowerFactor},
    {0x1616, "kW export block demand", "kW", Kind::Power},
    {0x1617, "kvar export block demand", "kvar", Kind::Power},
    {0x1618, "kW export SW demand", "kW", Kind::Power},
    {0x1619, "kvar export SW demand", "kvar", Kind::Power},
    {0x161A, "kW export acc demand", "kW", Kind::Power},
    {0x161B, "kvar export acc demand", "kvar", Kind::Power},
    {0x161C, "kW export predicted demand", "kW", Kind::Power},
    {0x161D, "kvar export predicted demand", "kvar", Kind::Power},
    {0x1622, "In demand", "A", Kind::Current},
};

constexpr Entry ENERGIES[] = {
    {0x1700, "kWh import", "kWh", Kind::Energy},
    {0x1701, "kWh export", "kWh", Kind::Energy},
    {0x1702, "kWh net", "kWh", Kind::Energy},
    {0x1703, "kWh total", "kWh", Kind::Energy},
    {0x1704, "kvarh import", "kvarh", Kind::Energy},
    {0x1705, "kvarh export", "kvarh", Kind::Energy},
    {0x1706, "kvarh net", "kvarh", Kind::Energy},
    {0x1707, "kvarh total", "kvarh", Kind::Energy},
    {0x1708, "kVAh total", "kVAh", Kind::Energy},
    {0x170B, "kVAh import", "kVAh", Kind::Energy},
    {0x170C, "kVAh export", "kVAh", Kind::Energy},
};

constexpr Entry MAX_DEMANDS[] = {
    {0x3700, "V1 max demand", "V", Kind::Voltage},
    {0x3701, "V2 max demand", "V", Kind::Voltage},
    {0x3702, "V3 max demand", "V", Kind::Voltage},
    {0x3703, "I1 max demand", "A", Kind::Current},
    {0x3704, "I2 max demand", "A", Kind::Current},
    {0x3705, "I3 max demand", "A", Kind::Current},
    {0x3709, "Max kW import SW demand", "kW", Kind::Power},
    {0x370A, "Max kvar import SW demand", "kvar", Kind::Power},
    {0x370B, "Max kVA SW demand", "kVA", Kind::Power},
    {0x370F, "Max kW export SW demand", "kW", Kind::Power},
    {0x3710, "Max kvar export SW demand", "kvar", Kind::Power},
    {0x3715, "In max demand", "A", Kind::Current},
};

template <size_t N>
void add_all(Table& t, const Entry (&entries)[N]) {
    for (const Entry& e : entries) add(t, e.pid, e.name, e.unit, e.kind);
}

Table build_catalogue() {
    Table t;
    add_phase_family(t, 0x0C00);
    add_phase_family(t, 0x1100);
    add_total_family(t, 0x0F00);
    add_total_family(t, 0x1400);
    add_all(t, AUXILIARY);
    for (int k = 0; k < 3; ++k) {
        add(t, uint16_t(0x1080 + k), std::string(VL[k]) + " mag", "V", Kind::Voltage);
        add(t, uint16_t(0x1084 + k), std::string(IL[k]) + " mag", "A", Kind::Current);
        add(t, uint16_t(0x1088 + k), std::string(VL[k]) + " angle", "deg", Kind::Angle);
        add(t, uint16_t(0x108C + k), std::string(IL[k]) + " angle", "deg", Kind::Angle);
    }
    add(t, 0x1087, "I4 mag", "A", Kind::Current);
    add(t, 0x108F, "I4 angle", "deg", Kind::Angle);
    for (int k = 0; k < 3; ++k) {
        add(t, uint16_t(0x1600 + k), std::string(VL[k]) + " demand", "V", Kind::Voltage);
        add(t, uint16_t(0x1603 + k), std::string(IL[k]) + " demand", "A", Kind::Current);
    }
    add_all(t, DEMANDS);
    add_all(t, ENERGIES);
    add_all(t, MAX_DEMANDS);
    for (int n = 1; n <= 16; ++n) {
        const std::string number = std::to_string(n);
        t.try_emplace(uint16_t(0x1780 + n - 1),
                      ParamDef{"Energy REG" + number, "", Kind::Energy, n});
        t.try_emplace(uint16_t(0x4780 + n - 1),
                      ParamDef{"Max demand REG" + number, "", Kind::Power, n});
        add(t, uint16_t(0x7000 + n - 1), "Tariff " + number + " energy", "", Kind::Energy);
        add(t, uint16_t(0x7100 + n - 1), "Tariff " + number + " max demand", "", Kind::Power);
    }
    return t;
}

}  // namespace

const std::map<uint16_t, ParamDef>& param_table() {
    static const Table table = build_catalogue();
    return table;
}

}  // namespace kolvane
