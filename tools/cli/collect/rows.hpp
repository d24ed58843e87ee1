// SPDX-License-Identifier: MIT
// What the collector stores, as plain values parsed from the library's JSON texts. Batches of
// these travel from the meter readers to the one thread that writes the store.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kcollect {

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
    int port = 502;
    std::string info;  // the device information document as the library gave it
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
    std::vector<double> values;
};

struct EventRow {
    std::string recorded_at;
    int seq = 0;
    int event_no = 0;
    std::string cause, point, state, effect, target;
    int source_id = 0;
    int effect_id = 0;
    std::int64_t value_triggered = 0;
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

}  // namespace kcollect
