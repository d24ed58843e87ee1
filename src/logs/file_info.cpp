// SPDX-License-Identifier: MIT
#include "logs/file_info.hpp"

#include <optional>
#include <stdexcept>

#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t REQUEST = 64944;
constexpr uint16_t REPLY_HEADER = 64952;
constexpr uint16_t REPLY_DATA = 64960;
constexpr uint16_t FILE_INFO_CODE = 9;

// The exchange, or nothing when the meter answers that it has no such file or variant.
std::optional<std::vector<uint16_t>> exchange(ModbusTcpClient& client, int file_id,
                                              uint16_t variant, uint16_t reply_words) {
    try {
        client.write_multiple_registers(
            REQUEST, {FILE_INFO_CODE, uint16_t(file_id), 0, 0, 0, variant, 0, 0});
        read_words(client, REPLY_HEADER, 8);  // read to complete the exchange; not interpreted
        return read_words(client, REPLY_DATA, reply_words);
    } catch (const std::exception& e) {
        if (says_absent(e)) return std::nullopt;
        throw std::runtime_error("Cannot read File Info of " + file_name(file_id) + ": " +
                                 e.what());
    }
}

}  // namespace

std::string file_name(int file_id) {
    return file_id == 0
               ? "the event log (file 0)"
               : "data log " + std::to_string(file_id) + " (file " + std::to_string(file_id) + ")";
}

FileInfo file_info_var0(ModbusTcpClient& client, int file_id) {
    const auto reply = exchange(client, file_id, 0, 14);
    if (!reply) return FileInfo{};
    return FileInfo{true, (*reply)[8], (*reply)[10], (*reply)[12]};
}

ColumnIdList parse_column_list(const std::vector<uint16_t>& reply) {
    ColumnIdList list;
    size_t first = 0;
    if (reply.size() > 1 && reply[1] >= 1 && reply[1] <= 16) {
        list.column_count = reply[1];
        first = 2;
    } else if (!reply.empty() && reply[0] >= 1 && reply[0] <= 16) {
        list.column_count = reply[0];
        first = 1;
    }
    for (int i = 0; i < list.column_count && first + i < reply.size(); ++i) {
        list.point_ids.push_back(reply[first + i]);
    }
    return list;
}

ColumnIdList file_info_var2(ModbusTcpClient& client, int file_id) {
    const auto reply = exchange(client, file_id, 2, 18);
    return reply ? parse_column_list(*reply) : ColumnIdList{};
}

}  // namespace kolvane
