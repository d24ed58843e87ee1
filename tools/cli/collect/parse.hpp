// SPDX-License-Identifier: MIT
// The library's JSON texts turned into rows: device information, the log directory, the data
// log and event log records and the live readings document.
#pragma once

#include "database/rows.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace kcollect {

// Identity from a device information document; host and port are the caller's.
kdb::MeterRow parse_identity(const std::string& info, const std::string& host, int port);

// Adds the log directory of a list_logs document to `meter`.
void parse_log_directory(const std::string& document, kdb::MeterRow& meter);

// A data log header's columns.
std::vector<kdb::Column> parse_datalog_header(const std::string& header);

// A data log record, read by scan_datalog_record when it has the library's layout, else parsed
// whole; throws on a text that is not a record.
kdb::DatalogRow parse_datalog_record(const std::string& record);
// The fast path: reads seq, timestamp and trigger and cuts out the values array of a record laid
// out as the library writes it, {"type":"record","no":N,"seq":N,"timestamp":"..","trigger":"..",
// "values":[..]}. Nothing when the text has any other shape, or a value that is not a plain
// decimal of at most 15 digits: those go the whole parse.
std::optional<kdb::DatalogRow> scan_datalog_record(std::string_view record);
kdb::EventRow parse_event_record(const std::string& record);

// The rows of a readings document; the document's time stamp goes into `taken_at`.
kdb::ReadingBatch parse_readings(const std::string& document, std::int64_t serial);

// True when a log stream text is its header record.
bool is_header(const std::string& text);

}  // namespace kcollect
