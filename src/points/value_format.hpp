// SPDX-License-Identifier: MIT
// The one way the library names and prints a point value, for readings and log columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ground/words.hpp"
#include "meter/model.hpp"
#include "meter/scales.hpp"

namespace kolvane {

struct ColumnFormat {
    std::string label;  // name + " (" + unit + ")", or name when the unit is empty
    std::string name;
    std::string unit;
    double scale = 1.0;
    int decimals = 0;
};

// column_no is the 1-based position used in the fallback name of ids not in the catalogue.
ColumnFormat resolve_column(uint16_t point_id, int column_no, MeterModel model,
                            const DataScales& scales);
std::string format_value(int32_t raw, const ColumnFormat& format);
void append_value(std::string& out, int32_t raw, const ColumnFormat& format);
// Appends the JSON array of column descriptions: [{"name":..,"unit":..,"decimals":..},...]
void append_columns_json(std::string& out, const std::vector<ColumnFormat>& columns);

// Signed 32-bit value of two registers, the low half first.
constexpr int32_t raw_value(uint16_t low, uint16_t high) {
    return static_cast<int32_t>(low_first(low, high));
}

}  // namespace kolvane
