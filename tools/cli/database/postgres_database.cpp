// SPDX-License-Identifier: MIT
// The collected database in PostgreSQL: prepared inserts of whole batches as arrays with ON
// CONFLICT DO NOTHING, one transaction per batch, and session advisory locks keyed by serial so
// that collectors sharing the database never read one meter at once; readers stream rows.
// A connection the server ended (a restart, an administrator) is opened again: a batch that failed
// on it is written again (every insert is idempotent), and the locks of the meters being read are
// taken again.
#include "database/engines.hpp"
#include "database/postgres_connection.hpp"
#include "database/retime.hpp"
#include "database/schema.hpp"

#include "common/interrupt.hpp"

#include <libpq-fe.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace kdb {
namespace {

// Advisory lock keys: "kolv" in the upper half, the serial in the lower; "kolw" guards the schema.
constexpr long long METER_LOCK_BASE = 0x6B6F6C76LL << 32;
constexpr long long SCHEMA_LOCK = 0x6B6F6C77LL << 32;
// How long an upgrade waits for each table it changes, while the readers after it queue behind it.
constexpr int UPGRADE_LOCK_WAIT_S = 5;
constexpr int EVENT_LOG = 0;  // beside the data logs' file ids 1-3

// A float8[] literal: the JSON array's brackets become braces.
std::string array_literal(const std::string& values) {
    if (values.size() < 2 || values.front() != '[' || values.back() != ']')
        throw std::runtime_error("PostgreSQL: data log values are not a JSON array: " + values);
    std::string text = values;
    text.front() = '{';
    text.back() = '}';
    return text;
}

// An element of an array literal, quoted: texts, numbers and inner array literals all travel.
std::string quoted(const std::string& item) {
    std::string text = "\"";
    for (const char c : item) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
    }
    return text + '"';
}

// A PostgreSQL array literal, so that a whole column travels as one parameter.
std::string array_of(const std::vector<std::string>& items) {
    std::string text = "{";
    for (const std::string& item : items) text += (text.size() > 1 ? "," : "") + quoted(item);
    return text + "}";
}

// The same with NULL elements.
std::string array_of(const std::vector<std::optional<std::string>>& items) {
    std::string text = "{";
    for (const std::optional<std::string>& item : items)
        text += (text.size() > 1 ? "," : "") + (item ? quoted(*item) : std::string("NULL"));
    return text + "}";
}

std::string number_text(double value) { return nlohmann::json(value).dump(); }

// A field of a row in COPY's text format, then `end` (a tab, or the line's end): the characters
// COPY reads as separators or escapes are escaped.
void copy_field(std::string& row, const std::string& text, char end = '\t') {
    for (const char c : text) {
        switch (c) {
            case '\\':
                row += "\\\\";
                break;
            case '\t':
                row += "\\t";
                break;
            case '\n':
                row += "\\n";
                break;
            case '\r':
                row += "\\r";
                break;
            default:
                row += c;
        }
    }
    row += end;
}

// A new batch goes in by COPY, which the server stores about a third faster than the INSERT
// below but which cannot skip rows stored already: a batch holding one fails as a whole and goes
// in by the INSERT ... ON CONFLICT DO NOTHING.
constexpr const char* COPY_DATALOG =
    "COPY datalog_records(serial, file_id, recorded_at, seq, trigger, layout_id, vals, meter_time) "
    "FROM STDIN";
constexpr const char* COPY_EVENTS =
    "COPY event_records(serial, recorded_at, seq, event_no, cause, point, state, effect, target, "
    "source_id, effect_id, value_triggered, meter_time) FROM STDIN";

// Batches go in as one array per column, unnested by statements prepared once: the server parses
// and plans each statement once, not once per batch.
constexpr const char* INSERT_DATALOG =
    "INSERT INTO datalog_records(serial, file_id, recorded_at, seq, trigger, layout_id, vals, "
    "meter_time) "
    "SELECT $1::bigint, $2::integer, t, q, tr, $3::bigint, v::double precision[], w "
    "FROM unnest($4::timestamptz[], $5::integer[], $6::text[], $7::text[], $8::timestamp[]) "
    "AS u(t, q, tr, v, w) "
    "ON CONFLICT DO NOTHING";
constexpr const char* INSERT_EVENTS =
    "INSERT INTO event_records(serial, recorded_at, seq, event_no, cause, point, state, effect, "
    "target, source_id, "
    "effect_id, value_triggered, meter_time) "
    "SELECT $1::bigint, t, q, n, c, p, st, ef, tg, si, ei, vt, w "
    "FROM unnest($2::timestamptz[], $3::integer[], $4::integer[], $5::text[], $6::text[], "
    "$7::text[], $8::text[], "
    "$9::text[], $10::integer[], $11::integer[], $12::bigint[], $13::timestamp[]) "
    "AS u(t, q, n, c, p, st, ef, tg, si, ei, vt, w) "
    "ON CONFLICT DO NOTHING";
constexpr const char* INSERT_READINGS =
    "INSERT INTO live_readings(serial, taken_at, pid, name, unit, value) "
    "SELECT $1::bigint, $2::timestamptz, i, n, u, v "
    "FROM unnest($3::integer[], $4::text[], $5::text[], $6::double precision[]) AS r(i, n, u, v) "
    "ON CONFLICT DO NOTHING";

class PostgresDatabase final : public Database {
public:
    PostgresDatabase(const std::string& uri, Access access) : c_(uri) {
        c_.set("SET client_min_messages = warning");
        if (access == Access::READ) {
            check_readable();
            return;
        }
        c_.transaction([&] {
            c_.exec("SELECT pg_advisory_xact_lock(" + std::to_string(SCHEMA_LOCK) + ")");
            const std::int64_t found = stored_version().value_or(0);
            check_schema_version(found, "PostgreSQL: ");
            upgrade(found);
            return 0;
        });
        c_.prepare("datalog", INSERT_DATALOG);
        c_.prepare("events", INSERT_EVENTS);
        c_.prepare("readings", INSERT_READINGS);
        locks_.emplace(uri);
    }

    void save_meter(const MeterRow& m) override {
        // A new pass of the meter: its logs are tried by COPY again.
        std::erase_if(holds_stored_rows_, [&](const auto& log) { return log.first == m.serial; });
        saved([&] {
            retime(m);
            c_.exec(
                "INSERT INTO meters(serial, model, model_name, firmware, host, port, last_seen, "
                "info, unit, name, clock_zone, transport) "
                "VALUES($1, $2, $3, $4, $5, $6, now(), $7::jsonb, $8, $9, $10, $11) "
                "ON CONFLICT(serial) DO UPDATE SET model = excluded.model, "
                "model_name = excluded.model_name, firmware = excluded.firmware, "
                "host = excluded.host, port = excluded.port, last_seen = excluded.last_seen, "
                "info = excluded.info, unit = excluded.unit, name = excluded.name, "
                "clock_zone = excluded.clock_zone, transport = excluded.transport",
                {std::to_string(m.serial), m.model, m.model_name, m.firmware, m.host,
                 std::to_string(m.port), m.info, std::to_string(m.unit), m.name, m.clock_zone,
                 m.transport});
            for (const MeterRow::Log& log : m.logs) {
                c_.exec(
                    "INSERT INTO log_directory VALUES($1, $2, $3, $4, NULLIF($5, '')::jsonb, "
                    "now()) "
                    "ON CONFLICT(serial, file_id) DO UPDATE SET type = excluded.type, "
                    "records = excluded.records, columns = excluded.columns, "
                    "seen_at = excluded.seen_at",
                    {std::to_string(m.serial), std::to_string(log.file_id), log.type,
                     std::to_string(log.records),
                     log.type == "datalog" ? columns_json(log.columns) : ""});
            }
            return 0;
        });
    }

    std::int64_t save_datalog(const DatalogBatch& b) override {
        if (b.rows.empty()) return 0;
        const std::string serial = std::to_string(b.serial), file = std::to_string(b.file_id);
        const std::string layout = layout_id(b);
        return copied_or_inserted(
            {b.serial, b.file_id},
            [&] {
                std::string data;
                for (const DatalogRow& r : b.rows) {
                    data += serial + '\t' + file + '\t';
                    copy_field(data, r.recorded_at);
                    data += std::to_string(r.seq) + '\t';
                    copy_field(data, r.trigger);
                    data += layout + '\t';
                    copy_field(data, array_literal(r.values));
                    copy_field(data, r.meter_time, '\n');
                }
                return c_.copy_in(COPY_DATALOG, data);
            },
            [&] {
                std::vector<std::string> times, seqs, triggers, values, walls;
                for (const DatalogRow& r : b.rows) {
                    times.push_back(r.recorded_at);
                    seqs.push_back(std::to_string(r.seq));
                    triggers.push_back(r.trigger);
                    values.push_back(array_literal(r.values));
                    walls.push_back(r.meter_time);
                }
                return c_.run("datalog", {serial, file, layout, array_of(times), array_of(seqs),
                                          array_of(triggers), array_of(values), array_of(walls)});
            });
    }

    std::int64_t save_events(const EventBatch& b) override {
        if (b.rows.empty()) return 0;
        std::vector<std::vector<std::string>> columns(12);
        for (const EventRow& e : b.rows) {
            const std::string row[] = {e.recorded_at,
                                       std::to_string(e.seq),
                                       std::to_string(e.event_no),
                                       e.cause,
                                       e.point,
                                       e.state,
                                       e.effect,
                                       e.target,
                                       std::to_string(e.source_id),
                                       std::to_string(e.effect_id),
                                       std::to_string(e.value_triggered),
                                       e.meter_time};
            for (std::size_t c = 0; c < columns.size(); ++c) columns[c].push_back(row[c]);
        }
        const std::string serial = std::to_string(b.serial);
        return copied_or_inserted(
            {b.serial, EVENT_LOG},
            [&] {
                std::string data;
                for (std::size_t r = 0; r < b.rows.size(); ++r) {
                    data += serial + '\t';
                    for (std::size_t c = 0; c < columns.size(); ++c)
                        copy_field(data, columns[c][r], c + 1 < columns.size() ? '\t' : '\n');
                }
                return c_.copy_in(COPY_EVENTS, data);
            },
            [&] {
                std::vector<std::string> params{serial};
                for (const auto& column : columns) params.push_back(array_of(column));
                return c_.run("events", params);
            });
    }

    std::int64_t save_readings(const ReadingBatch& b) override {
        if (b.rows.empty()) return 0;
        std::vector<std::string> pids, names, units, values;
        for (const ReadingRow& r : b.rows) {
            pids.push_back(std::to_string(r.pid));
            names.push_back(r.name);
            units.push_back(r.unit);
            values.push_back(nlohmann::json(r.value).dump());
        }
        return saved([&] {
            return c_.run("readings", {std::to_string(b.serial), b.taken_at, array_of(pids),
                                       array_of(names), array_of(units), array_of(values)});
        });
    }

    void save_collection(const CollectionRow& c) override {
        // An optional number as a parameter: empty for NULL.
        const auto text = [](const auto& value) -> std::string {
            return value ? nlohmann::json(*value).dump() : "";
        };
        saved([&] {
            return c_.exec(
                "INSERT INTO collection_passes VALUES($1, $2, $3, $4, $5, $6, "
                "NULLIF($7, '')::bigint, $8, NULLIF($9, ''), $10::jsonb, "
                "NULLIF($11, '')::timestamptz, NULLIF($12, '')::double precision, $13::jsonb, $14) "
                "ON CONFLICT DO NOTHING",
                {c.started_at, c.finished_at, c.host, std::to_string(c.port),
                 std::to_string(c.unit), c.name, text(c.serial), c.outcome, c.error, c.logs,
                 c.newest_record.value_or(""), text(c.newest_age_s), c.warnings, c.transport});
        });
    }

    void save_gap(const GapRow& g) override {
        saved([&] {
            return c_.exec(
                "INSERT INTO log_gaps VALUES($1, $2, $3, $4, $5, $6, now()) ON CONFLICT DO NOTHING",
                {std::to_string(g.serial), std::to_string(g.file_id), g.gap_from, g.gap_to,
                 std::to_string(g.missing), g.cause});
        });
    }

    void save_published_position(std::int64_t serial, int file_id,
                                 const LogPosition& position) override {
        saved([&] {
            return c_.exec(
                "INSERT INTO published_positions VALUES($1, $2, $3, $4) ON CONFLICT(serial, "
                "file_id) DO UPDATE SET recorded_at = excluded.recorded_at, seq = excluded.seq",
                {std::to_string(serial), std::to_string(file_id), position.recorded_at,
                 std::to_string(position.seq)});
        });
    }

    void save_day(const DayRow& d) override {
        saved([&] {
            return c_.exec(
                "INSERT INTO log_days VALUES($1, $2, $3, $4, $5, $6) ON CONFLICT(serial, file_id, "
                "day) DO UPDATE SET interval_s = excluded.interval_s, "
                "expected = excluded.expected, present = excluded.present",
                {std::to_string(d.serial), std::to_string(d.file_id), d.day,
                 nlohmann::json(d.interval_s).dump(), std::to_string(d.expected),
                 std::to_string(d.present)});
        });
    }

    void with_reconnect(const std::function<void()>& work) override {
        try {
            work();
            return;
        } catch (const std::runtime_error&) {
            if (!c_.lost() || kcli::interrupted()) throw;
        }
        c_.reconnect();
        ++reconnections_;
        work();
    }

    void save_energy(const LogEnergy& e) override {
        saved([&] {
            for (const CounterEnergy& c : e.counters) {
                const std::vector<std::string> key{std::to_string(e.serial),
                                                   std::to_string(e.file_id), c.column.name,
                                                   c.column.unit};
                const auto forget = [&](const char* table, const std::string& term,
                                        const std::optional<std::string>& from) {
                    std::vector<std::string> params = key;
                    std::string sql = std::string("DELETE FROM ") + table +
                                      " WHERE serial = $1 AND file_id = $2 AND name = $3 AND "
                                      "unit = $4";
                    if (from) sql += " AND " + term, params.push_back(*from);
                    c_.exec(sql, params);
                };
                forget("energy_interval_rows", "ended_at > $5::timestamptz", c.intervals_after);
                forget("energy_day_rows", "day >= $5::date",
                       c.days_from.empty() ? std::nullopt : std::optional(c.days_from));
                forget("energy_month_rows", "month >= $5",
                       c.months_from.empty() ? std::nullopt : std::optional(c.months_from));
                insert_intervals(key, c.intervals);
                insert_periods(key, c.days, false);
                insert_periods(key, c.months, true);
            }
            return c_.exec(
                "INSERT INTO energy_logs VALUES($1, $2, $3) ON CONFLICT(serial, file_id) "
                "DO UPDATE SET newest_record = excluded.newest_record",
                {std::to_string(e.serial), std::to_string(e.file_id), e.newest_record});
        });
    }

    std::int64_t records_between(std::int64_t serial, int file_id, const std::string& from,
                                 const std::string& to) override {
        std::int64_t count = 0;
        query_on_lock_connection(RECORDS_BETWEEN,
                                 {std::to_string(serial), std::to_string(file_id), from, to},
                                 [&](const Row& r) { count = r.integer(0); });
        return count;
    }

    std::int64_t power_events_between(std::int64_t serial, const std::string& from,
                                      const std::string& to) override {
        std::int64_t count = 0;
        query_on_lock_connection(POWER_EVENTS_BETWEEN, {std::to_string(serial), from, to},
                                 [&](const Row& r) { count = r.integer(0); });
        return count;
    }

    std::optional<std::pair<std::string, std::string>> stored_span(std::int64_t serial,
                                                                   int file_id) override {
        std::optional<std::pair<std::string, std::string>> span;
        const std::string sql = "SELECT " + time_text("min(recorded_at)") + ", " +
                                time_text("max(recorded_at)") +
                                " FROM datalog_records WHERE serial = $1 AND file_id = $2 "
                                "HAVING count(*) > 0";
        query_on_lock_connection(sql.c_str(), {std::to_string(serial), std::to_string(file_id)},
                                 [&](const Row& r) {
                                     span = std::pair{r.text(0), r.text(1)};
                                 });
        return span;
    }

    std::int64_t reconnections() const override { return reconnections_; }

    bool claim(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        if (!on_lock_connection([&] { return try_lock(serial); })) return false;
        held_.insert(serial);
        return true;
    }

    void release(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        lost_.erase(serial);
        if (held_.erase(serial) == 0) return;  // its lock went with a lost connection
        try {
            locks_->exec("SELECT pg_advisory_unlock($1)::int",
                         {std::to_string(METER_LOCK_BASE | serial)});
        } catch (const std::runtime_error&) {
            // The lock connection is gone, and with it every lock it held.
        }
    }

    // On the lock connection: the writing thread uses the other one.
    std::optional<StoredMeter> stored_meter(std::int64_t serial) override {
        std::optional<StoredMeter> stored;
        query_on_lock_connection(
            "SELECT model, host, port, unit, extract(epoch FROM now() - last_seen), "
            "(clock_zone IS NOT NULL)::int, clock_zone FROM meters WHERE serial = $1",
            {std::to_string(serial)}, [&](const Row& r) {
                stored = StoredMeter{r.text(0),
                                     r.text(1),
                                     static_cast<int>(r.integer(2)),
                                     static_cast<int>(r.integer(3)),
                                     r.real(4),
                                     {}};
                if (r.integer(5) != 0) stored->clock_zone = r.text(6);
            });
        return stored;
    }

    std::uint32_t listed_logs(std::int64_t serial) override {
        std::uint32_t mask = 0;
        query_on_lock_connection("SELECT file_id FROM log_directory WHERE serial = $1",
                                 {std::to_string(serial)},
                                 [&](const Row& r) { mask |= 1u << (r.integer(0) & 31); });
        return mask;
    }

    std::optional<NewestRecord> newest_record(std::int64_t serial, int file_id) override {
        std::optional<NewestRecord> newest;
        std::vector<std::string> params{std::to_string(serial)};
        if (file_id > 0) params.push_back(std::to_string(file_id));
        const std::string sql = "SELECT seq, " + time_text("recorded_at") +
                                ", to_char(meter_time, 'YYYY-MM-DD\"T\"HH24:MI:SS.MS')" +
                                (file_id > 0 ? NEWEST_DATALOG_RECORD : NEWEST_EVENT_RECORD);
        query_on_lock_connection(sql.c_str(), params, [&](const Row& r) {
            if (newest)
                newest->before = r.text(1);
            else
                newest = NewestRecord{static_cast<int>(r.integer(0)), r.text(1), {}, r.text(2)};
        });
        return newest;
    }

    void confirm_claim(std::int64_t serial) override {
        if (kcli::interrupted()) return;  // the readers are stopping anyway: no reconnect now
        std::lock_guard lock(locks_mutex_);
        try {
            keep_locks();
        } catch (const std::runtime_error&) {
            // Every meter being read is in lost_ now, with the reason.
        }
        if (const auto lost = lost_.find(serial); lost != lost_.end())
            throw std::runtime_error(lost->second);
    }

protected:
    std::string time_text(const std::string& column) const override {
        return "to_char(" + column + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
    }
    std::string day_text(const std::string& column) const override {
        return "to_char(" + column + ", 'YYYY-MM-DD')";
    }
    std::string time_parameter(int n) const override {
        std::string parameter =
            "$";  // appended: g++ 12 at -O3 warns falsely on "literal" + std::string
        parameter += std::to_string(n);
        parameter += "::timestamptz";
        return parameter;
    }
    std::string parameter(int n) const override { return "$" + std::to_string(n); }
    std::string wall_text(const std::string& column) const override {
        return "to_char(" + column + ", 'YYYY-MM-DD\"T\"HH24:MI:SS.MS')";
    }
    void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                  const std::function<void(const Row&)>& take) override {
        c_.each_row(sql, parameters, take);
    }

private:
    // Brings an older schema up to date inside the caller's transaction. A step changing a table
    // waits for every open transaction that read it, and would hang behind a reader left open:
    // the wait is bounded, and an upgrade that gives way rolls back, for the next run to retry.
    void upgrade(std::int64_t found) {
        if (found > 0 && found < SCHEMA_VERSION)
            c_.exec("SET LOCAL lock_timeout = '" + std::to_string(UPGRADE_LOCK_WAIT_S) + "s'");
        try {
            upgrade_schema(postgres_schema_steps(), found,
                           [&](const std::string& sql) { c_.exec(sql); });
        } catch (const LockNotAvailable&) {
            throw std::runtime_error(
                "PostgreSQL: cannot upgrade the schema from version " + std::to_string(found) +
                " to " + std::to_string(SCHEMA_VERSION) +
                ": another session's open transaction (a reader) held its tables for " +
                std::to_string(UPGRADE_LOCK_WAIT_S) + " s; the database is left at version " +
                std::to_string(found) + ", try again");
        }
    }

    // Rows go in as one array per column, a few thousand at a time.
    static constexpr std::size_t ENERGY_BATCH = 5000;

    void insert_intervals(const std::vector<std::string>& key,
                          const std::vector<EnergyIntervalRow>& rows) {
        for (std::size_t first = 0; first < rows.size(); first += ENERGY_BATCH) {
            std::vector<std::string> ends, starts, end_walls, start_walls, gaps;
            std::vector<std::optional<std::string>> energies;
            for (std::size_t i = first; i < std::min(rows.size(), first + ENERGY_BATCH); ++i) {
                const EnergyIntervalRow& r = rows[i];
                ends.push_back(r.ended_at);
                starts.push_back(r.started_at);
                end_walls.push_back(r.end_meter_time);
                start_walls.push_back(r.start_meter_time);
                energies.push_back(r.energy ? std::optional(number_text(*r.energy)) : std::nullopt);
                gaps.push_back(r.gap ? "t" : "f");
            }
            std::vector<std::string> params = key;
            for (const auto& column : {ends, starts, end_walls, start_walls})
                params.push_back(array_of(column));
            params.push_back(array_of(energies));
            params.push_back(array_of(gaps));
            c_.exec(
                "INSERT INTO energy_interval_rows SELECT $1, $2, $3, $4, e, s, ew, sw, n, g "
                "FROM unnest($5::timestamptz[], $6::timestamptz[], $7::timestamp[], "
                "$8::timestamp[], $9::double precision[], $10::boolean[]) "
                "AS u(e, s, ew, sw, n, g)",
                params);
        }
    }

    // Days, or months with their index.
    void insert_periods(const std::vector<std::string>& key,
                        const std::vector<EnergyPeriodRow>& rows, bool months) {
        for (std::size_t first = 0; first < rows.size(); first += ENERGY_BATCH) {
            std::vector<std::vector<std::optional<std::string>>> columns(13);
            for (std::size_t i = first; i < std::min(rows.size(), first + ENERGY_BATCH); ++i) {
                const EnergyPeriodRow& r = rows[i];
                const auto peak = [&](auto member) -> std::optional<std::string> {
                    if (!r.peak) return std::nullopt;
                    return std::invoke(member, *r.peak);
                };
                const std::optional<std::string> row[] = {
                    r.period,
                    std::to_string(month_index(r.period)),
                    number_text(r.energy),
                    number_text(r.hole_energy),
                    std::to_string(r.glitches),
                    std::to_string(r.days),
                    std::to_string(r.days_in),
                    r.partial ? "t" : "f",
                    r.peak ? std::optional(number_text(r.peak->power)) : std::nullopt,
                    peak([](const EnergyPeakRow& p) { return p.started_at; }),
                    peak([](const EnergyPeakRow& p) { return p.ended_at; }),
                    peak([](const EnergyPeakRow& p) { return p.start_meter_time; }),
                    peak([](const EnergyPeakRow& p) { return p.end_meter_time; })};
                for (std::size_t c = 0; c < columns.size(); ++c) columns[c].push_back(row[c]);
            }
            std::vector<std::string> params = key;
            for (const auto& column : columns) params.push_back(array_of(column));
            const std::string figures = "en, he, gl, da, pa, pp, ps, pe, psw, pew";
            c_.exec(std::string(months ? "INSERT INTO energy_month_rows SELECT $1, $2, $3, $4, "
                                         "pd, mi, en, he, gl, da, di, pa, pp, ps, pe, psw, pew"
                                       : "INSERT INTO energy_day_rows SELECT $1, $2, $3, $4, "
                                         "pd::date, " +
                                             figures) +
                        " FROM unnest($5::text[], $6::integer[], $7::double precision[], "
                        "$8::double precision[], $9::integer[], $10::integer[], $11::integer[], "
                        "$12::boolean[], $13::double precision[], $14::timestamptz[], "
                        "$15::timestamptz[], $16::timestamp[], $17::timestamp[]) "
                        "AS u(pd, mi, en, he, gl, da, di, pa, pp, ps, pe, psw, pew)",
                    params);
        }
    }

    // A meter's stored records get their true UTC times when its clock zone is not the one they
    // were converted with: once after an upgrade (none was known), again when the zone changes.
    // Runs inside save_meter's transaction.
    void retime(const MeterRow& m) {
        std::optional<std::string> stored_zone;
        bool known = false;
        c_.each_row(
            "SELECT (clock_zone IS NOT NULL)::int, clock_zone FROM meters WHERE serial = $1",
            {std::to_string(m.serial)}, [&](const Row& r) {
                known = true;
                if (r.integer(0) != 0) stored_zone = r.text(1);
            });
        if (!known || stored_zone == m.clock_zone) return;
        for (const char* table : ENERGY_TABLES)
            c_.exec(std::string("DELETE FROM ") + table + " WHERE serial = $1",
                    {std::to_string(m.serial)});
        const std::string wall =
            "to_char(coalesce(meter_time, recorded_at AT TIME ZONE 'UTC'), "
            "'YYYY-MM-DD\"T\"HH24:MI:SS.MS')";
        retime_table(m,
                     "SELECT file_id, seq, " + time_text("recorded_at") + ", " + wall +
                         " AS wall FROM datalog_records WHERE serial = $1 "
                         "ORDER BY file_id, wall, seq",
                     "datalog_records d", "d.file_id = u.f AND ");
        retime_table(m,
                     "SELECT 0, seq, " + time_text("recorded_at") + ", " + wall +
                         " AS wall FROM event_records WHERE serial = $1 ORDER BY wall, seq",
                     "event_records d", "");
    }

    // Updates the rows of `table` ("name d") in batches of arrays, found by `file_match` and
    // their key.
    void retime_table(const MeterRow& m, const std::string& select, const std::string& table,
                      const std::string& file_match) {
        std::vector<StoredTime> times;
        c_.each_row(select, {std::to_string(m.serial)}, [&](const Row& r) {
            times.push_back({static_cast<int>(r.integer(0)),
                             static_cast<int>(r.integer(1)),
                             r.text(2),
                             r.text(3),
                             {}});
        });
        convert_times(times, m.clock_zone);
        constexpr std::size_t BATCH = 5000;
        for (std::size_t first = 0; first < times.size(); first += BATCH) {
            std::vector<std::string> files, seqs, keys, utcs, walls;
            for (std::size_t i = first; i < std::min(times.size(), first + BATCH); ++i) {
                files.push_back(std::to_string(times[i].file_id));
                seqs.push_back(std::to_string(times[i].seq));
                keys.push_back(times[i].key);
                utcs.push_back(times[i].utc);
                walls.push_back(times[i].wall);
            }
            c_.exec("UPDATE " + table +
                        " SET recorded_at = u.n, meter_time = u.w "
                        "FROM unnest($2::integer[], $3::integer[], $4::timestamptz[], "
                        "$5::timestamptz[], $6::timestamp[]) AS u(f, q, k, n, w) "
                        "WHERE d.serial = $1 AND " +
                        file_match + "d.seq = u.q AND d.recorded_at = u.k",
                    {std::to_string(m.serial), array_of(files), array_of(seqs), array_of(keys),
                     array_of(utcs), array_of(walls)});
        }
    }

    // The layout row of a batch's columns, stored once and then known: a layout never changes.
    std::string layout_id(const DatalogBatch& b) {
        const std::vector<std::string> key{std::to_string(b.serial), std::to_string(b.file_id),
                                           columns_json(b.columns)};
        const std::string known = key[0] + '/' + key[1] + '/' + key[2];
        if (const auto found = layouts_.find(known); found != layouts_.end()) return found->second;
        const std::string id = std::to_string(saved([&] {
            c_.exec(
                "INSERT INTO datalog_layouts(serial, file_id, columns) VALUES($1, $2, $3::jsonb) "
                "ON CONFLICT DO NOTHING",
                key);
            return c_.exec(
                "SELECT layout_id FROM datalog_layouts "
                "WHERE serial = $1 AND file_id = $2 AND columns = $3::jsonb",
                key);
        }));
        layouts_.emplace(known, id);
        return id;
    }

    // Stores a batch of a log by `copy`, or by `insert` when a row of it, or of an earlier batch
    // of the same log in this run, was stored already (a full read after a resumed one failed).
    template <typename Copy, typename Insert>
    std::int64_t copied_or_inserted(std::pair<std::int64_t, int> log, Copy copy, Insert insert) {
        if (!holds_stored_rows_.contains(log)) {
            try {
                return saved(copy);
            } catch (const DuplicateRows&) {
                holds_stored_rows_.insert(log);
            }
        }
        return saved(insert);
    }

    // Runs a save in a transaction. When the connection turns out lost, it is opened again and
    // the save runs once more: a batch whose commit the server took just before the connection
    // went is then found stored and counted as not new. After Ctrl-C the tool is leaving: the
    // save fails instead.
    template <typename Work>
    std::invoke_result_t<Work&> saved(Work work) {
        try {
            return c_.transaction(work);
        } catch (const std::runtime_error&) {
            if (!c_.lost() || kcli::interrupted()) throw;
        }
        c_.reconnect();
        ++reconnections_;
        return c_.transaction(work);
    }

    // Runs `work` on the lock connection, with locks_mutex_ held. A connection the server ended
    // shows only when a query fails on it: it is then opened again (its locks taken again) and
    // `work` runs once more.
    template <typename Work>
    std::invoke_result_t<Work&> on_lock_connection(Work work) {
        keep_locks();
        try {
            return work();
        } catch (const std::runtime_error&) {
            if (!locks_->lost() || kcli::interrupted()) throw;
        }
        keep_locks();
        return work();
    }

    // The collector's checks run on the lock connection: the writing thread uses the other one.
    void query_on_lock_connection(const char* sql, const std::vector<std::string>& params,
                                  const std::function<void(const Row&)>& take) {
        std::lock_guard lock(locks_mutex_);
        on_lock_connection([&] { locks_->each_row(sql, params, take); });
    }

    bool try_lock(std::int64_t serial) {
        return locks_->exec("SELECT pg_try_advisory_lock($1)::int",
                            {std::to_string(METER_LOCK_BASE | serial)}) == 1;
    }

    // Opens the lock connection again when the server ended it. The locks ended with its session,
    // so the lock of each meter still being read is taken again; a meter that another collector
    // took meanwhile, or every one when the server cannot be reached, is marked lost: its reader
    // must stop. Throws when the connection cannot be opened. Called with locks_mutex_ held.
    void keep_locks() {
        if (!locks_->lost()) return;
        std::set<std::int64_t> reading;
        reading.swap(held_);
        try {
            locks_->reconnect();
            for (const std::int64_t serial : reading) {
                if (try_lock(serial))
                    held_.insert(serial);
                else
                    lost_[serial] =
                        "PostgreSQL: the meter's lock went with a lost connection and another "
                        "collector holds it now";
            }
        } catch (const std::runtime_error& e) {
            for (const std::int64_t serial : reading)
                if (!held_.contains(serial)) lost_.try_emplace(serial, e.what());
            throw;
        }
    }

    // The version the database holds; nothing when it holds no collector's schema.
    std::optional<std::int64_t> stored_version() {
        if (c_.exec("SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' "
                    "AND schemaname = current_schema()") == 0)
            return std::nullopt;
        return c_.exec("SELECT max(version) FROM schema_version");
    }

    void check_readable() {
        const std::optional<std::int64_t> version = stored_version();
        if (!version)
            throw std::runtime_error("PostgreSQL database holds nothing collected by kolvane");
        check_schema_version(*version, "PostgreSQL: ");
        read_version_ = *version;
    }

    Connection c_;
    std::atomic<std::int64_t> reconnections_{0};
    std::mutex locks_mutex_;
    std::optional<Connection> locks_;  // holds the meters' advisory locks while they are read
    std::set<std::int64_t> held_;      // serials whose lock locks_ holds
    std::map<std::int64_t, std::string> lost_;    // serials being read whose lock is lost, and why
    std::map<std::string, std::string> layouts_;  // layout ids by serial/file/columns
    // Logs (serial, file id) whose batches of this pass go in by INSERT.
    std::set<std::pair<std::int64_t, int>> holds_stored_rows_;
};

}  // namespace

std::unique_ptr<Database> open_postgres_database(const std::string& uri, Access access) {
    return std::make_unique<PostgresDatabase>(uri, access);
}

}  // namespace kdb
