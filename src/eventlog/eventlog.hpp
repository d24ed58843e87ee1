// SPDX-License-Identifier: MIT
// The event log as a stream of JSON records or as a CSV file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ground/sinks.hpp"
#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

// The records newer than after_seq when given, the record there checked against
// after_time_ms when given (see read_log_file_after).
int read_eventlog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                       const RecordSink& deliver, std::optional<uint16_t> after_seq = std::nullopt,
                       std::optional<int64_t> after_time_ms = std::nullopt);
int export_eventlog_impl(ModbusTcpClient& client, int file_id, const std::string& csv_path,
                         const ProgressSink& report_progress);

}  // namespace kolvane
