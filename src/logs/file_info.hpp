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
    bool ok = false;  // false: the meter has no such file
    int records = 0;
    uint16_t read_index = 0;
    uint16_t start_index = 0;
};

struct ColumnIdList {
    int column_count = 0;
    std::vector<uint16_t> point_ids;
};

// Record count and read position; ok is false when the meter answers that it has no such file
// (an illegal function, address or value). Any other failure (busy, a gateway's exception, a
// time limit) fails, naming the file: a log is never taken for absent on such an answer.
FileInfo file_info_var0(ModbusTcpClient& client, int file_id);
// The point ids of a data log's columns: no columns when the meter answers that it cannot tell;
// any other failure fails as file_info_var0's does.
ColumnIdList file_info_var2(ModbusTcpClient& client, int file_id);
// "the event log (file 0)", "data log 2 (file 2)": the file as messages name it.
std::string file_name(int file_id);
// The column list held in the 18 reply words of variant 2 (two layouts).
ColumnIdList parse_column_list(const std::vector<uint16_t>& reply);

// Connects and returns the log directory document with the number of logs listed: of every
// file, or of the file ids whose bits `files` sets (bit n for file n).
Document list_logs_impl(ModbusTcpClient& client, MeterModel model, uint32_t files = 0x1FFFF);

}  // namespace kolvane
