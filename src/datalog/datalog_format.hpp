// SPDX-License-Identifier: MIT
// The text of one data log record: a JSON record of the record stream and a CSV row.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "datalog/columns.hpp"

namespace kolvane {

// Replaces `text` with record `number` as a JSON record (no newline).
void format_json_record(std::string& text, int number, std::span<const uint16_t> record,
                        const DatalogColumns& columns);
// Replaces `line` with row `row` as a CSV line, newline included.
void format_csv_row(std::string& line, int row, std::span<const uint16_t> record,
                    const DatalogColumns& columns);

}  // namespace kolvane
