// SPDX-License-Identifier: MIT
#include "logs/transfer.hpp"

#include <optional>
#include <stdexcept>
#include <string>

#include "ground/log.hpp"
#include "logs/file_info.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t TRANSFER_REQUEST = 63120;
constexpr uint16_t BLOCK_HEADER = 63152;
constexpr uint16_t BLOCK_DATA = 63160;
constexpr uint16_t SELECT = 5;
constexpr uint16_t SEEK = 3;
constexpr uint16_t NEXT_BLOCK = 11;
constexpr uint16_t ACKNOWLEDGE = 1;
constexpr int MAX_BLOCK_REQUESTS = 70000;

constexpr uint16_t END_OF_FILE = 0xEB00;
constexpr uint16_t END_OF_BLOCK = 0x1000;
constexpr uint16_t SKIP = 0x0400;
constexpr uint16_t LAST_RECORD = 0x0001;

std::string file_text(int file_id) { return "File " + std::to_string(file_id) + ": "; }

// A record is new when its sequence number is 1 to 32768 ahead of the last delivered one.
bool is_newer(uint16_t seq, uint16_t last_seq) { return uint16_t(seq - last_seq - 1) < 32768; }

// The block data window holds at most this many registers before the address wraps.
constexpr uint32_t BLOCK_DATA_CAPACITY = 65536u - BLOCK_DATA;

// Number of registers the header announces; a block that cannot be read as announced is a
// malformed reply, never a reason to cut records from data that was not read.
uint16_t block_size(int file_id, uint16_t records, uint16_t words_per_record) {
    const uint32_t total = uint32_t(records) * words_per_record;
    if (total > BLOCK_DATA_CAPACITY) {
        throw std::runtime_error(file_text(file_id) + "block header announces " +
                                 std::to_string(records) + " records of " +
                                 std::to_string(words_per_record) +
                                 " words, more than the meter's block window holds");
    }
    return uint16_t(total);
}

// Where a transfer stands between blocks. The meter gets one second chance for an empty block
// and one for a block that brings no new record; a second such block in a row ends the
// transfer.
struct TransferState {
    std::optional<uint16_t> last_seq;  // of the last record delivered
    bool empty_block_forgiven = false;
    bool stalled_block_forgiven = false;
};

}  // namespace

int prepare_log_read(ModbusTcpClient& client, int file_id) {
    client.write_multiple_registers(TRANSFER_REQUEST, {SELECT, uint16_t(file_id), 0, 0});
    const FileInfo info = file_info_var0(client, file_id);
    if (!info.ok) {
        log_msg(LogLevel::Warning,
                file_text(file_id) + "File Info unavailable, record count unknown");
        return -1;
    }
    if (info.records > 0 && info.read_index != info.start_index) {
        client.write_multiple_registers(TRANSFER_REQUEST,
                                        {SEEK, uint16_t(file_id), 0, 0, info.start_index, 0});
    }
    log_msg(LogLevel::Info, file_text(file_id) + std::to_string(info.records) + " records");
    return info.records;
}

int read_log_file(ModbusTcpClient& client, int file_id, int max_records,
                  const RecordConsumer& consumer) {
    if (max_records == 0) return 0;
    int delivered = 0;
    TransferState state;
    int requests = 0;

    for (;;) {
        ++requests;
        client.write_multiple_registers(TRANSFER_REQUEST,
                                        {NEXT_BLOCK, uint16_t(file_id), 0, 0, 0, 0});
        const std::vector<uint16_t> header = read_words(client, BLOCK_HEADER, 8);
        const uint16_t records = header[4];
        const uint16_t words_per_record = header[5];

        if (records == 0 || words_per_record <= 7) {
            if (state.empty_block_forgiven) break;
            state.empty_block_forgiven = true;
            client.write_single_register(TRANSFER_REQUEST, ACKNOWLEDGE);
        } else {
            const std::vector<uint16_t> data =
                read_words(client, BLOCK_DATA, block_size(file_id, records, words_per_record));
            bool end = false;
            int block_delivered = 0;
            for (size_t r = 0; r < records && !end; ++r) {
                const std::span<const uint16_t> record(data.data() + r * words_per_record,
                                                       words_per_record);
                const uint16_t status = record[0];
                const uint16_t seq = record[1];
                if (status & END_OF_FILE) {
                    end = true;
                    break;
                }
                if (status & END_OF_BLOCK) break;
                if (status & SKIP) continue;
                if (state.last_seq && !is_newer(seq, *state.last_seq)) continue;
                consumer(record);
                ++delivered;
                ++block_delivered;
                state.last_seq = seq;
                if (status & LAST_RECORD) end = true;
                if (max_records > 0 && delivered >= max_records) end = true;
            }
            if (!end) {
                if (block_delivered > 0) {
                    state.stalled_block_forgiven = false;
                } else if (state.stalled_block_forgiven) {
                    log_msg(LogLevel::Warning, file_text(file_id) +
                                                   "no forward progress, stopping after " +
                                                   std::to_string(delivered) + " records");
                    break;
                } else {
                    state.stalled_block_forgiven = true;
                }
            }
            client.write_single_register(TRANSFER_REQUEST, ACKNOWLEDGE);
            if (end) break;
            state.empty_block_forgiven = false;
        }
        if (requests >= MAX_BLOCK_REQUESTS) break;
    }
    if (max_records > 0 && delivered < max_records) {
        log_msg(LogLevel::Warning, file_text(file_id) + std::to_string(delivered) +
                                       " records read of " + std::to_string(max_records) +
                                       " announced");
    }
    if (log_enabled()) {
        log_msg(LogLevel::Debug, file_text(file_id) + std::to_string(delivered) + " records in " +
                                     std::to_string(requests) + " blocks");
    }
    return delivered;
}

}  // namespace kolvane
