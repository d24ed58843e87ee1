// SPDX-License-Identifier: MIT
// Inside the database floor: the two engines' backends and what they share.
#pragma once

#include "database/database.hpp"

#include <memory>
#include <string>
#include <vector>

namespace kdb {

std::unique_ptr<Database> open_sqlite_database(const std::string& path, Access access);
std::unique_ptr<Database> open_postgres_database(const std::string& uri, Access access);

// The two newest records of a meter's data log ($1 serial, $2 file id) or event log ($1 serial),
// after "SELECT seq, <recorded_at as UTC text>"; both engines number the parameters so.
inline constexpr const char* NEWEST_DATALOG_RECORD =
    " FROM datalog_records WHERE serial = $1 AND file_id = $2 "
    "ORDER BY recorded_at DESC, seq DESC LIMIT 2";
inline constexpr const char* NEWEST_EVENT_RECORD =
    " FROM event_records WHERE serial = $1 ORDER BY recorded_at DESC, seq DESC LIMIT 2";

// Shared by both engines: records of a data log in a span of time, power events in a span, the
// span of a data log ($1 serial, then $2 file id or the span's start).
inline constexpr const char* RECORDS_BETWEEN =
    "SELECT count(*) FROM datalog_records WHERE serial = $1 AND file_id = $2 "
    "AND recorded_at >= $3 AND recorded_at < $4";
inline constexpr const char* POWER_EVENTS_BETWEEN =
    "SELECT count(*) FROM event_records WHERE serial = $1 AND recorded_at >= $2 "
    "AND recorded_at <= $3 AND point IN ('Power down', 'Power up')";

// A data log's column layout as both engines keep it: a JSON array of [name, unit] pairs.
std::string columns_json(const std::vector<Column>& columns);

}  // namespace kdb
