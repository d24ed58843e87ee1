// SPDX-License-Identifier: MIT
// The collected database: one object per engine (SQLite, PostgreSQL) that both writes (the
// collector) and reads (the report), over one schema with its version and migrations.
#pragma once

#include "database/rows.hpp"
#include "database/schema.hpp"
#include "database/target.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kdb {

// One row of a query result, read by column index.
class Row {
public:
    virtual ~Row() = default;
    virtual std::string text(int column) const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual double real(int column) const = 0;
};

// Where a meter of the meters table answered last, and what the site calls it.
struct MeterPlace {
    std::int64_t serial = 0;
    std::string host;
    int port = 0;
    int unit = 1;
    std::string name;  // empty when the site gave it none
};

class Database {
public:
    virtual ~Database() = default;

    // Writing. Every save is idempotent (the database's own uniqueness drops what is already
    // stored), commits its whole batch or nothing, and returns the number of rows that were new.
    // Called by one writing thread only.
    virtual void save_meter(const MeterRow& meter) = 0;
    virtual std::int64_t save_datalog(const DatalogBatch& batch) = 0;
    virtual std::int64_t save_events(const EventBatch& batch) = 0;
    virtual std::int64_t save_readings(const ReadingBatch& batch) = 0;
    virtual void save_collection(const CollectionRow& row) = 0;
    virtual void save_gap(const GapRow& gap) = 0;
    virtual void save_day(const DayRow& day) = 0;
    // A data log's energy kept anew (see LogEnergy), the log then listed as kept.
    virtual void save_energy(const LogEnergy& energy) = 0;
    // Records of a data log stored with times in [from, to) (UTC texts); events whose cause says
    // the meter lost or regained power in that span. Like stored_meter().
    virtual std::int64_t records_between(std::int64_t serial, int file_id, const std::string& from,
                                         const std::string& to) = 0;
    virtual std::int64_t power_events_between(std::int64_t serial, const std::string& from,
                                              const std::string& to) = 0;
    // The UTC texts of the oldest and newest record stored of a data log; nothing when none is.
    virtual std::optional<std::pair<std::string, std::string>> stored_span(std::int64_t serial,
                                                                           int file_id) = 0;

    // Claims a meter for this collector until release() (which never throws); false when another
    // collector sharing the database is reading it. May be called from any thread.
    virtual bool claim(std::int64_t serial) = 0;
    virtual void release(std::int64_t serial) = 0;
    // The meter stored under `serial`, if any; from a collector's database (Access::COLLECT).
    // May be called from any thread, also while the writing thread writes.
    virtual std::optional<StoredMeter> stored_meter(std::int64_t serial) = 0;
    // The newest record (by time stamp, so that sequence numbers that wrapped around do not
    // mislead) stored of a meter's log, file id 0 the event log; nothing when none is. Like
    // stored_meter().
    virtual std::optional<NewestRecord> newest_record(std::int64_t serial, int file_id) = 0;
    // The file ids of the logs the meter ever listed, as a mask (bit n for file n); 0 for a
    // meter never collected. Like stored_meter().
    virtual std::uint32_t listed_logs(std::int64_t serial) = 0;
    // Throws, with the reason, once the collector no longer holds the claim of a meter it is
    // reading: the claim went with a lost connection and could not be taken again. Its reader
    // must stop then. May be called from any thread.
    virtual void confirm_claim(std::int64_t) {}
    // Runs `work` once more on a connection opened again when the connection was lost in it.
    virtual void with_reconnect(const std::function<void()>& work) { work(); }
    // How often a save found the connection lost, opened it again and ran once more.
    virtual std::int64_t reconnections() const { return 0; }

    // The energy the collector keeps, read on the writing thread before it writes anew.
    // The newest record (UTC text) a data log's kept energy was computed from; nothing for a
    // log never computed, or whose records' times were converted anew since.
    std::optional<std::string> kept_energy_until(std::int64_t serial, int file_id);
    // Of one counter: up to `count` intervals whose energy counted, ending at or before `until`
    // (UTC text), the newest first.
    std::vector<EnergyIntervalRow> counted_intervals(std::int64_t serial, int file_id,
                                                     const CounterColumn& column,
                                                     const std::string& until, int count);
    // Of one counter: the intervals ending in (after, until], oldest first.
    std::vector<EnergyIntervalRow> kept_intervals(std::int64_t serial, int file_id,
                                                  const CounterColumn& column,
                                                  const std::string& after,
                                                  const std::string& until);
    // Of one counter: the days from `first` to `last` ("YYYY-MM-DD", both included), ascending.
    std::vector<EnergyPeriodRow> kept_days(std::int64_t serial, int file_id,
                                           const CounterColumn& column, const std::string& first,
                                           const std::string& last);

    // What kolvane mqtt published of a meter's log (file id 0: the event log): the newest record
    // the broker acknowledged; nothing before the first. Saved on the writing thread.
    std::optional<LogPosition> published_position(std::int64_t serial, int file_id);
    virtual void save_published_position(std::int64_t serial, int file_id,
                                         const LogPosition& position) = 0;
    // The data logs stored of a meter, by file id.
    std::vector<int> datalog_files(std::int64_t serial);
    // Up to `limit` records of a data log, or events, after `after` (from the first when
    // nothing), oldest first.
    std::vector<DatalogRecord> datalog_records_after(std::int64_t serial, int file_id,
                                                     const std::optional<LogPosition>& after,
                                                     int limit);
    std::vector<EventRow> events_after(std::int64_t serial, const std::optional<LogPosition>& after,
                                       int limit);

    // Reading, through the views. Meters ordered by serial.
    std::vector<MeterIdentity> meters(const Selection& selection);
    // Every meter of the meters table with the address it last answered at and the site's name
    // for it, the last seen last (an address may have served a meter since replaced). Before
    // schema version 3 the name reads as empty, before version 2 the unit as 1.
    std::vector<MeterPlace> meter_places();
    // The schema version of a database opened for reading: the collections, gaps and
    // completeness views are there from version 5 on.
    std::int64_t schema_version() const { return read_version_; }
    // Ordered by serial, file id, time and sequence number.
    void each_value(const Selection& selection, const std::function<void(const ValueRow&)>& take);
    // Ordered by serial, time and sequence number.
    void each_event(const Selection& selection,
                    const std::function<void(std::int64_t serial, const EventRow&)>& take);
    // The collections view (schema version 5 on; nothing before), ordered by serial (passes of
    // meters that never said who they are first, without one) and finished_at; from and to
    // select the passes that finished in that span.
    void each_collection(const Selection& selection,
                         const std::function<void(const CollectionRow&)>& take);
    // The gaps view (version 5 on), ordered by serial, file id and gap_from; from and to select
    // the gaps that overlap that span.
    void each_gap(const Selection& selection, const std::function<void(const GapRow&)>& take);
    // The completeness view (version 5 on), ordered by serial, file id and day. Its days are the
    // meters' calendar days, which only the reader can match to from and to: every day is read.
    void each_day(const Selection& selection, const std::function<void(const DayRow&)>& take);

protected:
    // The schema version of a database opened for reading: columns newer than it read as empty.
    std::int64_t read_version_ = SCHEMA_VERSION;

    // The queries are the same for both engines but for how a time is compared and printed.
    // A time column as the collector's UTC text.
    virtual std::string time_text(const std::string& column) const = 0;
    // A day column as YYYY-MM-DD, whatever the server's date style.
    virtual std::string day_text(const std::string& column) const { return column; }
    // A meter time column as "YYYY-MM-DDTHH:MM:SS.mmm".
    virtual std::string wall_text(const std::string& column) const { return column; }
    // Query parameter `n` (from 1) holding a time text.
    virtual std::string time_parameter(int n) const = 0;
    // Query parameter `n` (from 1) holding a day, a number or a text.
    virtual std::string parameter(int n) const = 0;
    virtual void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                          const std::function<void(const Row&)>& take) = 0;

private:
    // " WHERE ..." for one counter of a meter's data log, its parameters appended.
    std::string counter_filter(std::int64_t serial, int file_id, const CounterColumn& column,
                               std::vector<std::string>& parameters) const;
    // "SELECT ... FROM energy_interval_rows", the columns interval rows are read from.
    std::string interval_columns() const;
    // " WHERE ..." for `selection` on a table with `time_column`, its parameters appended.
    std::string where(const Selection& selection, const char* time_column,
                      std::vector<std::string>& parameters) const;
};

enum class Access {
    COLLECT,  // created on first use, an older schema upgraded in place
    READ,     // opened read-only; it must hold a collector's schema of any version this knows
};

// Opens the database `target` names. Throws std::runtime_error with a one-line message, also
// for a schema newer than this kolvane knows, which stays untouched.
std::unique_ptr<Database> open_database(const Target& target, Access access);

}  // namespace kdb
