// SPDX-License-Identifier: MIT
// The block-by-block transfer of a meter log file through the meter's transfer window.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "ground/words.hpp"

namespace kolvane {

class ModbusTcpClient;

// Receives one record: all its words, status and sequence number included. May throw
// (Cancelled when the caller asks to stop); the words are valid only during the call.
using RecordConsumer = std::function<void(std::span<const uint16_t> record)>;

// Both log types carry their time at words 2-3 (seconds since 1970, UTC) and 4-5
// (microseconds), 32-bit values with the low half first.
inline uint32_t record_seconds(std::span<const uint16_t> record) {
    return low_first(record[2], record[3]);
}
inline uint32_t record_microseconds(std::span<const uint16_t> record) {
    return low_first(record[4], record[5]);
}
// The record's stamp in milliseconds since 1970 on the meter's clock.
inline int64_t record_stamp_ms(std::span<const uint16_t> record) {
    return int64_t(record_seconds(record)) * 1000 + record_microseconds(record) / 1000;
}

// What File Info told about a file whose read was prepared.
struct LogReadStart {
    int records = -1;  // -1 when the meter cannot tell
    uint16_t start_index = 0;
};

// Selects the file and positions its read at the start index.
LogReadStart prepare_log_transfer(ModbusTcpClient& client, int file_id);
// prepare_log_transfer's record count, or -1 when the meter cannot tell.
int prepare_log_read(ModbusTcpClient& client, int file_id);

// Delivers each new record once, in order; max_records 0 transfers nothing, a negative
// value means no limit. Returns the number of records delivered.
int read_log_file(ModbusTcpClient& client, int file_id, int max_records,
                  const RecordConsumer& consumer);

}  // namespace kolvane
