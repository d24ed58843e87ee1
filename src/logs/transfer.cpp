// SPDX-License-Identifier: MIT
#include "logs/transfer.hpp"

#include <string>

#include "ground/log.hpp"
#include "logs/block_transfer.hpp"
#include "logs/file_info.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t TRANSFER_REQUEST = 63120;
constexpr uint16_t SELECT = 5;
constexpr uint16_t SEEK = 3;

}  // namespace

LogReadStart prepare_log_transfer(ModbusTcpClient& client, int file_id) {
    client.write_multiple_registers(TRANSFER_REQUEST, {SELECT, uint16_t(file_id), 0, 0});
    const FileInfo info = file_info_var0(client, file_id);
    if (!info.ok) {
        // The meter keeps no File Info for the file: its records are read until it says end.
        log_msg(LogLevel::Warning,
                file_text(file_id) + "File Info unavailable, record count unknown");
        return {};
    }
    if (info.records > 0 && info.read_index != info.start_index) {
        client.write_multiple_registers(TRANSFER_REQUEST,
                                        {SEEK, uint16_t(file_id), 0, 0, info.start_index, 0});
    }
    log_msg(LogLevel::Info, file_text(file_id) + std::to_string(info.records) + " records");
    return {info.records, info.start_index};
}

int prepare_log_read(ModbusTcpClient& client, int file_id) {
    return prepare_log_transfer(client, file_id).records;
}

int read_log_file(ModbusTcpClient& client, int file_id, int max_records,
                  const RecordConsumer& consumer) {
    if (max_records == 0) return 0;
    BlockTransfer transfer(client, file_id, max_records, consumer);
    transfer.take_rest();
    const int delivered = transfer.delivered();
    if (max_records > 0 && delivered < max_records) {
        log_msg(LogLevel::Warning, file_text(file_id) + std::to_string(delivered) +
                                       " records read of " + std::to_string(max_records) +
                                       " announced");
    }
    log_transfer_summary(transfer);
    return delivered;
}

}  // namespace kolvane
