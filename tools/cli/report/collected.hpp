// SPDX-License-Identifier: MIT
// Reading what `kolvane collect` stored: the meters' identity and the stable views
// (datalog_values, events), from SQLite or PostgreSQL, with one implementation per backend.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kreport {

// Which rows to read. Times are UTC in the collector's text form, 2026-03-01T12:15:00.000Z.
struct Selection {
    std::optional<std::string> from;    // inclusive
    std::optional<std::string> to;      // exclusive
    std::vector<std::int64_t> serials;  // empty: every meter
};

struct MeterIdentity {
    std::int64_t serial = 0;
    std::string model, model_name, firmware, host;
    int port = 0;
    std::string last_seen;
};

struct ValueRow {
    std::int64_t serial = 0;
    int file_id = 0;
    std::string recorded_at;
    int seq = 0;
    std::string name, unit;
    double value = 0;
};

struct EventRow {
    std::int64_t serial = 0;
    std::string recorded_at;
    int seq = 0;
    int event_no = 0;
    std::string cause, point, state, effect, target;
    std::int64_t value_triggered = 0;
};

// One row of a query result, read by column index.
class Row {
public:
    virtual ~Row() = default;
    virtual std::string text(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual double real(int column) const = 0;
};

// The queries are the same for both databases but for how a time is compared and printed.
class CollectedReader {
public:
    virtual ~CollectedReader() = default;

    std::vector<MeterIdentity> meters(const Selection& selection);
    // Ordered by serial, file id, time and sequence number.
    void each_value(const Selection& selection, const std::function<void(const ValueRow&)>& take);
    // Ordered by serial, time and sequence number.
    void each_event(const Selection& selection, const std::function<void(const EventRow&)>& take);

protected:
    // A time column as the collector's UTC text.
    virtual std::string time_text(const std::string& column) const = 0;
    // Query parameter `n` (from 1) holding a time text.
    virtual std::string time_parameter(int n) const = 0;
    virtual void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                          const std::function<void(const Row&)>& take) = 0;

private:
    // " WHERE ..." for `selection` on a table with `time_column`, its parameters appended.
    std::string where(const Selection& selection, const char* time_column,
                      std::vector<std::string>& parameters) const;
};

// Opens the database named as for `kolvane collect --db`: a postgresql:// or postgres:// URI,
// sqlite:PATH or a file path. It must hold the collector's schema (a database the collector has
// opened, even one without rows). Throws std::runtime_error with a one-line message.
std::unique_ptr<CollectedReader> open_collected(const std::string& target);

std::unique_ptr<CollectedReader> open_sqlite_collected(const std::string& path);
std::unique_ptr<CollectedReader> open_postgres_collected(const std::string& uri);

}  // namespace kreport
