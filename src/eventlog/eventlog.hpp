// SPDX-License-Identifier: MIT
// The event log as a stream of JSON records or as a CSV file.
#pragma once

#include <string>

#include "ground/sinks.hpp"
#include "meter/model.hpp"

namespace kolvane {

class ModbusTcpClient;

int read_eventlog_impl(ModbusTcpClient& client, MeterModel model, int file_id,
                       const RecordSink& deliver);
int export_eventlog_impl(ModbusTcpClient& client, int file_id, const std::string& csv_path,
                         const ProgressSink& report_progress);

}  // namespace kolvane
