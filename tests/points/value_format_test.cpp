// SPDX-License-Identifier: MIT
// How a point is named, given its unit, scaled and printed.
#include <gtest/gtest.h>

#include <climits>
#include <iomanip>
#include <locale>
#include <sstream>

#include "points/value_format.hpp"
#include "support/scales.hpp"

namespace {

using kolvane::ColumnFormat;
using kolvane::DataScales;
using kolvane::format_value;
using kolvane::MeterModel;
using kolvane::resolve_column;

// A high-resolution meter whose energy registers count in assorted units.
DataScales configured() {
    return ktest::high_resolution_scales({"kWh", "kvarh", "m3", "", "CF", "kVAh", "MJ"});
}

struct Resolved {
    std::string label, name, unit;
    double scale;
    int decimals;
};

void expect_format(const ColumnFormat& f, const Resolved& e) {
    EXPECT_EQ(f.label, e.label);
    EXPECT_EQ(f.name, e.name);
    EXPECT_EQ(f.unit, e.unit);
    EXPECT_DOUBLE_EQ(f.scale, e.scale);
    EXPECT_EQ(f.decimals, e.decimals);
}

TEST(ResolveColumn, NamesUnitsAndScales) {
    struct Case {
        uint16_t pid;
        MeterModel model;
        Resolved expected;
    };
    const auto em133 = MeterModel::EM133;
    const auto em235 = MeterModel::EM235;
    const Case cases[] = {
        {0x1100, em133, {"V1 (V)", "V1", "V", 0.1, 1}},
        {0x1103, em133, {"I1 (A)", "I1", "A", 0.01, 2}},
        {0x1106, em133, {"kW L1 (kW)", "kW L1", "kW", 0.001, 3}},
        {0x1700, em133, {"kWh import (kWh)", "kWh import", "kWh", 0.01, 2}},
        {0x110F, em133, {"PF L1", "PF L1", "", 0.001, 3}},
        {0x1112, em133, {"V1 THD (%)", "V1 THD", "%", 0.1, 1}},
        {0x1118, em133, {"I1 K-Factor", "I1 K-Factor", "", 0.1, 1}},
        {0x1088, em133, {"V1 angle (deg)", "V1 angle", "deg", 0.1, 1}},
        {0x1502, em133, {"Frequency (Hz)", "Frequency", "Hz", 0.01, 2}},
        {0x150A, em133, {"Frequency (Hz)", "Frequency", "Hz", 0.001, 3}},
        {0x100C, em133, {"FREQ4 (Hz)", "FREQ4", "Hz", 0.0001, 4}},
        {0x1503, em235, {"V unbalance (%)", "V unbalance", "%", 0.1, 1}},
        {0x1503, em133, {"V unbalance (%)", "V unbalance", "%", 1.0, 0}},
        // Energy registers take the unit configured for them; a demand drops the trailing "h".
        {0x1780, em133, {"Energy REG1 (kWh)", "Energy REG1", "kWh", 0.01, 2}},
        {0x1781, em133, {"Energy REG2 (kvarh)", "Energy REG2", "kvarh", 0.01, 2}},
        {0x4780, em133, {"Max demand REG1 (kW)", "Max demand REG1", "kW", 0.001, 3}},
        {0x4781, em133, {"Max demand REG2 (kvar)", "Max demand REG2", "kvar", 0.001, 3}},
        {0x4782, em133, {"Max demand REG3 (m3)", "Max demand REG3", "m3", 0.001, 3}},
        {0x4783, em133, {"Max demand REG4", "Max demand REG4", "", 0.001, 3}},
        {0x4784, em133, {"Max demand REG5 (CF)", "Max demand REG5", "CF", 0.001, 3}},
        {0x4785, em133, {"Max demand REG6 (kVA)", "Max demand REG6", "kVA", 0.001, 3}},
        {0x4786, em133, {"Max demand REG7 (MJ)", "Max demand REG7", "MJ", 0.001, 3}},
        {0x1787, em133, {"Energy REG8", "Energy REG8", "", 0.01, 2}},  // beyond the units read
        {0x7000, em133, {"Tariff 1 energy", "Tariff 1 energy", "", 0.01, 2}},
        // Points missing from the catalogue are named after their position.
        {0x0C21, em133, {"Param_3 (0x0C21)", "Param_3 (0x0C21)", "", 1.0, 0}},
        {0x1A2B, em235, {"Param_3 (0x1A2B)", "Param_3 (0x1A2B)", "", 1.0, 0}},
        {0x0000, em235, {"Param_3", "Param_3", "", 1.0, 0}},
    };
    const DataScales scales = configured();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "point 0x" << std::hex << c.pid);
        expect_format(resolve_column(c.pid, 3, c.model, scales), c.expected);
    }
}

TEST(ResolveColumn, DefaultScalesPrintWholeNumbers) {
    const DataScales defaults;
    expect_format(resolve_column(0x1100, 1, MeterModel::EM235, defaults),
                  {"V1 (V)", "V1", "V", 1.0, 0});
    expect_format(resolve_column(0x1700, 1, MeterModel::EM235, defaults),
                  {"kWh import (kWh)", "kWh import", "kWh", 1.0, 0});
    expect_format(resolve_column(0x4780, 1, MeterModel::EM235, defaults),
                  {"Max demand REG1", "Max demand REG1", "", 1.0, 0});
    expect_format(resolve_column(0x1A2B, 12, MeterModel::EM133, defaults),
                  {"Param_12 (0x1A2B)", "Param_12 (0x1A2B)", "", 1.0, 0});
}

ColumnFormat format(double scale, int decimals) {
    ColumnFormat f;
    f.scale = scale;
    f.decimals = decimals;
    return f;
}

TEST(FormatValue, Examples) {
    struct Case {
        int32_t raw;
        double scale;
        int decimals;
        const char* text;
    };
    const Case cases[] = {
        {2301, 0.1, 1, "230.1"},
        {-12345, 0.01, 2, "-123.45"},
        {7, 1.0, 0, "7"},
        {15, 0.1, 0, "2"},
        {-1, 1.0, 0, "-1"},
        {INT32_MIN, 1.0, 0, "-2147483648"},
        {INT32_MAX, 1.0, 0, "2147483647"},
        {-950, 0.001, 3, "-0.950"},
        {123456, 0.01, 2, "1234.56"},
        {123456, 1.0, 0, "123456"},
        {25, 0.1, 1, "2.5"},
        {5, 1.0, 2, "5.00"},
        {0, 0.001, 3, "0.000"},
        {5001, 0.01, 2, "50.01"},
        {INT32_MIN, 0.0001, 4, "-214748.3648"},
        {INT32_MAX, 0.001, 3, "2147483.647"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(format_value(c.raw, format(c.scale, c.decimals)), c.text)
            << c.raw << " x " << c.scale << ", " << c.decimals << " decimals";
    }
}

// Scaled values print exactly as standard fixed-point formatting of the product does.
TEST(FormatValue, MatchesClassicFixedFormatting) {
    const int32_t raws[] = {
        INT32_MIN, INT32_MIN + 1, -2147483, -15,     -5,       -4, -1, 0, 1, 5, 15, 25,
        35,        1049,          999999,   2147483, INT32_MAX};
    const std::pair<double, int> formats[] = {{0.1, 0},    {0.1, 1}, {0.01, 2}, {0.001, 3},
                                              {0.0001, 4}, {1.0, 2}, {0.5, 0},  {0.01, 1}};
    for (const auto& [scale, decimals] : formats) {
        for (const int32_t raw : raws) {
            std::ostringstream expected;
            expected.imbue(std::locale::classic());
            expected << std::fixed << std::setprecision(decimals) << double(raw) * scale;
            EXPECT_EQ(format_value(raw, format(scale, decimals)), expected.str())
                << raw << " x " << scale << ", " << decimals << " decimals";
        }
    }
}

}  // namespace
