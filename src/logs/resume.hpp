// SPDX-License-Identifier: MIT
// Resumed log reads: only the records newer than a sequence number the caller already holds,
// reached by a seek instead of reading the older ones.
#pragma once

#include <cstdint>
#include <optional>

#include "logs/transfer.hpp"

namespace kolvane {

// Delivers the records of a prepared file that are newer than after_seq. The first block tells
// the oldest sequence number s0; when after_seq lies in s0 - 1 .. s0 + records - 1 the read
// seeks past the older records and checks that it landed on after_seq + 1 (else it reads from
// the start, passing over the older records); otherwise the log was cleared or overwritten
// and the whole file is read, with a warning. Without after_seq: read_log_file of the
// announced records. Returns the number of records delivered.
//
// With after_time_ms, the time stamp of the caller's record at after_seq as the meter wrote it
// (milliseconds since 1970 on the meter's clock), the record the meter holds under after_seq
// must carry it: a log that started again under the same numbers (cleared and refilled past
// them, a meter replaced by one with the same serial) holds another record there, and the
// whole file is read, with a warning naming the reason.
//
// A resumed read that delivers fewer records than the meter announces after after_seq (or
// whose first block holds none of the records announced) reads the whole file, with a warning;
// when that too comes short, the call fails, the records delivered staying delivered: the
// caller is never left to take a short read for a complete one.
int read_log_file_after(ModbusTcpClient& client, int file_id, const LogReadStart& start,
                        std::optional<uint16_t> after_seq, const RecordConsumer& consumer,
                        std::optional<int64_t> after_time_ms = std::nullopt);

}  // namespace kolvane
