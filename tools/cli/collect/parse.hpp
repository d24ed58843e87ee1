// SPDX-License-Identifier: MIT
// The library's JSON texts turned into rows: device information, the log directory, the data
// log and event log records and the live readings document.
#pragma once

#include "database/rows.hpp"

#include <string>

namespace kcollect {

// Identity from a device information document; host and port are the caller's.
kdb::MeterRow parse_identity(const std::string& info, const std::string& host, int port);

// Adds the log directory of a list_logs document to `meter`.
void parse_log_directory(const std::string& document, kdb::MeterRow& meter);

// A data log header's columns.
std::vector<kdb::Column> parse_datalog_header(const std::string& header);

kdb::DatalogRow parse_datalog_record(const std::string& record);
kdb::EventRow parse_event_record(const std::string& record);

// The rows of a readings document; the document's time stamp goes into `taken_at`.
kdb::ReadingBatch parse_readings(const std::string& document, std::int64_t serial);

// True when a log stream text is its header record.
bool is_header(const std::string& text);

}  // namespace kcollect
