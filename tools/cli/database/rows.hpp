// SPDX-License-Identifier: MIT
// The rows of the collected database, as plain values: what the collector writes (parsed from
// the library's JSON texts, travelling in batches to the one writing thread) and what readers
// get back. One type per kind of row, both ways.
#pragma once

#include "common/host_port.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kdb {

struct Column {
    std::string name;
    std::string unit;
};

// Identity and log directory of one meter, as last seen.
struct MeterRow {
    std::int64_t serial = 0;
    std::string model;       // canonical model name, "em133" or "em235"
    std::string model_name;  // the name the meter reports about itself
    std::string firmware;    // "version.build"
    std::string host;
    int port = kcli::MODBUS_TCP_PORT;
    int unit = 1;                   // the Modbus unit id the meter answered at
    std::string name;               // the site's own name for the meter, may be empty
    std::string transport = "tcp";  // "tcp", "rtu" (a serial line; host is the device) or "rtu+tcp"
    std::string clock_zone;  // the zone of the meter's clock, its records' times converted with
    std::string info;        // the device information document as the library gave it
    struct Log {
        int file_id = 0;
        std::string type;  // "eventlog" or "datalog"
        int records = 0;
        std::vector<Column> columns;
    };
    std::vector<Log> logs;
};

struct DatalogRow {
    std::string recorded_at;  // UTC, ISO 8601 with milliseconds
    int seq = 0;
    std::string trigger;
    // The record's values as a JSON array of numbers, "[230.6,232.1,15.0]": the library's text,
    // stored as it stands by SQLite, as a float8[] by PostgreSQL.
    std::string values;
    std::string meter_time;  // the meter's own wall time, "2026-03-01T13:15:00.000"
};

// source_id and effect_id are stored but not in the events view: readers get 0.
struct EventRow {
    std::string recorded_at;
    int seq = 0;
    int event_no = 0;
    std::string cause, point, state, effect, target;
    int source_id = 0;
    int effect_id = 0;
    std::int64_t value_triggered = 0;
    std::string meter_time;  // the meter's own wall time
};

struct ReadingRow {
    int pid = 0;
    std::string name;
    std::string unit;
    double value = 0;
};

// Rows of one data log, all written with the same column layout.
struct DatalogBatch {
    std::int64_t serial = 0;
    int file_id = 0;
    std::vector<Column> columns;
    std::vector<DatalogRow> rows;
};

struct EventBatch {
    std::int64_t serial = 0;
    std::vector<EventRow> rows;
};

struct ReadingBatch {
    std::int64_t serial = 0;
    std::string taken_at;
    std::vector<ReadingRow> rows;
};

// One meter's part of one collection pass, as its summary line tells it.
struct CollectionRow {
    std::string started_at, finished_at;  // UTC texts
    std::string host;
    int port = 0;
    int unit = 1;
    std::string name;
    std::string transport = "tcp";             // as the meter's
    std::optional<std::int64_t> serial;        // nothing when the meter did not say who it is
    std::string outcome;                       // complete, incomplete, failed or busy
    std::string error;                         // the first failure, empty when none
    std::string logs;                          // JSON array: each log's entry of the line
    std::optional<std::string> newest_record;  // UTC of the newest data log record
    std::optional<double> newest_age_s;        // the host's clock less that record's time
    std::string warnings;                      // JSON array of texts
};

// Records of a log that are missing, and why.
struct GapRow {
    std::int64_t serial = 0;
    int file_id = 0;               // 0: the event log
    std::string gap_from, gap_to;  // UTC of the records on either side
    std::int64_t missing = 0;
    std::string cause;
};

// How complete a data log is on one of the meter's days (in its zone).
struct DayRow {
    std::int64_t serial = 0;
    int file_id = 0;
    std::string day;  // YYYY-MM-DD on the meter's clock
    double interval_s = 0;
    std::int64_t expected = 0;  // records the interval fits between the log's first and last
    std::int64_t present = 0;
};

// The interval of one energy counter that a data log record closes, as the collector keeps it.
struct EnergyIntervalRow {
    std::string started_at, ended_at;  // UTC texts: the last counted record and this one
    std::string start_meter_time, end_meter_time;  // the same on the meter's clock
    std::optional<double> energy;                  // nothing: the record was left out (a glitch)
    bool gap = false;                              // covers missing or left-out records
};

// The highest average power of one interval of a period.
struct EnergyPeakRow {
    double power = 0;  // the counter's unit per hour: kW from kWh
    std::string started_at, ended_at, start_meter_time, end_meter_time;
};

// One counter's energy over a day or month of the meter's clock, as the collector keeps it.
struct EnergyPeriodRow {
    std::string period;  // "2026-03-29" for a day, "2026-03" for a month
    double energy = 0;
    double hole_energy = 0;  // of holes that end in the period and begin before it
    std::int64_t glitches = 0;
    std::int64_t days = 0;     // days with records; a day has 0 or 1
    std::int64_t days_in = 1;  // days in the period
    bool partial = false;
    std::optional<EnergyPeakRow> peak;
};

// A month "YYYY-MM" as a count of months since year 0, so that twelve months back is a subtraction.
std::int64_t month_index(const std::string& month);

// A data log's counter, its column.
struct CounterColumn {
    std::string name, unit;
    auto operator<=>(const CounterColumn&) const = default;
};

// What the collector keeps anew of one counter: every row from a point on replaces the stored
// rows from there on.
struct CounterEnergy {
    CounterColumn column;
    std::optional<std::string> intervals_after;  // UTC text; nothing: every interval anew
    std::vector<EnergyIntervalRow> intervals;
    std::string days_from, months_from;  // the first day and month replaced ("": every one)
    std::vector<EnergyPeriodRow> days, months;
};

// A data log's energy kept anew, written in one transaction.
struct LogEnergy {
    std::int64_t serial = 0;
    int file_id = 0;
    std::string newest_record;  // UTC text of the newest record the rows were computed from
    std::vector<CounterEnergy> counters;
};

// What the database last stored of a meter, for the collector's checks before reading it.
struct StoredMeter {
    std::string model;  // canonical model name
    std::string host;
    int port = 0;
    int unit = 1;
    double seconds_ago = 0;  // since it was last collected
    // The zone its records' times were converted with; nothing for records stored before meter
    // clocks were known, which hold the meter's wall time labelled UTC.
    std::optional<std::string> clock_zone;
};

// The newest record stored of a meter's log.
struct NewestRecord {
    int seq = 0;
    std::string recorded_at;            // UTC text
    std::optional<std::string> before;  // the record's before it, UTC text
    // The meter's own stamp of the record, "YYYY-MM-DDTHH:MM:SS.mmm"; empty for records stored
    // before meter times were kept.
    std::string meter_time;
};

// Which rows to read. Times are UTC in the collector's text form, 2026-03-01T12:15:00.000Z.
struct Selection {
    std::optional<std::string> from;    // inclusive
    std::optional<std::string> to;      // exclusive
    std::vector<std::int64_t> serials;  // empty: every meter
    std::optional<int> file_id;         // of data log values only; nothing: every log
};

// A meter as read back: its stored identity and when it was last collected.
struct MeterIdentity {
    std::int64_t serial = 0;
    std::string model, model_name, firmware, host;
    int port = 0;
    std::string last_seen;
    std::string clock_zone;  // the zone of the meter's clock; UTC when none was known
};

// One value of a data log record, a row of the datalog_values view.
struct ValueRow {
    std::int64_t serial = 0;
    int file_id = 0;
    std::string recorded_at;
    int seq = 0;
    std::string name, unit;
    double value = 0;
};

// Where a log stands: its record with this UTC time and sequence number.
struct LogPosition {
    std::string recorded_at;
    int seq = 0;
};

// A data log record read back whole: its values with their columns, in the order of the view.
struct DatalogRecord {
    std::string recorded_at;
    int seq = 0;
    std::string meter_time;  // empty for records stored before meter times were kept
    std::vector<Column> columns;
    std::vector<double> values;
};

}  // namespace kdb
