// SPDX-License-Identifier: MIT
// The column set of one data log during one operation, and the record's printed values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "meter/model.hpp"
#include "meter/scales.hpp"
#include "points/value_format.hpp"

namespace kolvane {

// Data log record layout: status, sequence, seconds (2 words), microseconds (2 words),
// trigger type, one unused word, then one 32-bit value per column.
constexpr size_t DATALOG_FIRST_VALUE = 8;

struct DatalogColumns {
    MeterModel model = MeterModel::EM133;
    DataScales scales;
    int column_count = 0;
    std::vector<uint16_t> point_ids;
    std::vector<ColumnFormat> columns;

    void resolve(int n);
    // Names the columns after the size of a record when the meter gave no column list.
    void resolve_from_record(size_t record_words);
    // Appends the printed values, each after a separator (the first one only when asked).
    void append_values(std::string& out, std::span<const uint16_t> record, char separator,
                       bool separator_before_first) const;
};

std::string fmt_trigger_event_type(uint16_t type);

}  // namespace kolvane
