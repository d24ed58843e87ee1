// SPDX-License-Identifier: MIT
// The text of one event log record: a JSON record of the record stream and a CSV row.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "eventlog/decode.hpp"

namespace kolvane {

// Record `number` as a JSON record (no newline); `e` is decode_event(record).
std::string event_json_record(int number, std::span<const uint16_t> record, const EventFields& e);
// Row `number` as a CSV line, newline included.
std::string event_csv_row(int number, std::span<const uint16_t> record, const EventFields& e);

}  // namespace kolvane
