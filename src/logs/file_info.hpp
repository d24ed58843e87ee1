// SPDX-License-Identifier: MIT
// The File Info exchange: what the meter reports about one of its log files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ground/document.hpp"
#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

struct FileInfo {
    bool ok = false;
    int records = 0;
    uint16_t read_index = 0;
    uint16_t start_index = 0;
    // The transport's message when the meter gave no answer at all (time-out, closed or reset
    // connection); empty when it answered, a refusal included.
    std::string no_answer;
};

struct ColumnIdList {
    int column_count = 0;
    std::vector<uint16_t> point_ids;
};

// Record count and read position; never fails (ok is false when the meter cannot tell).
FileInfo file_info_var0(ModbusTcpClient& client, int file_id);
// The point ids of a data log's columns; raises the exchange's failure unchanged.
ColumnIdList file_info_var2(ModbusTcpClient& client, int file_id);
// The column list held in the 18 reply words of variant 2 (two layouts).
ColumnIdList parse_column_list(const std::vector<uint16_t>& reply);

// Connects and returns the log directory document with the number of logs listed.
Document list_logs_impl(ModbusTcpClient& client, MeterModel model);

}  // namespace kolvane
