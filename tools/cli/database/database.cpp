// SPDX-License-Identifier: MIT
// What both engines share: the choice of engine, the column layout's JSON and the read queries
// over the views.
#include "database/database.hpp"
#include "database/engines.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <stdexcept>

namespace kdb {

std::unique_ptr<Database> open_database(const Target& target, Access access) {
    return target.engine == Target::Engine::POSTGRES ? open_postgres_database(target.where, access)
                                                     : open_sqlite_database(target.where, access);
}

std::string columns_json(const std::vector<Column>& columns) {
    nlohmann::json list = nlohmann::json::array();
    for (const Column& c : columns) list.push_back({c.name, c.unit});
    return list.dump();
}

std::string Database::where(const Selection& selection, const char* time_column,
                            std::vector<std::string>& parameters) const {
    std::vector<std::string> terms;
    if (!selection.serials.empty()) {
        std::string list;
        for (std::int64_t serial : selection.serials) {
            if (!list.empty()) list += ',';
            list += std::to_string(serial);
        }
        terms.push_back("serial IN (" + list + ")");
    }
    if (selection.file_id) terms.push_back("file_id = " + std::to_string(*selection.file_id));
    if (time_column && selection.from) {
        parameters.push_back(*selection.from);
        terms.push_back(std::string(time_column) +
                        " >= " + time_parameter(static_cast<int>(parameters.size())));
    }
    if (time_column && selection.to) {
        parameters.push_back(*selection.to);
        terms.push_back(std::string(time_column) + " < " +
                        time_parameter(static_cast<int>(parameters.size())));
    }
    std::string text;
    for (const std::string& term : terms) text += (text.empty() ? " WHERE " : " AND ") + term;
    return text;
}

std::vector<MeterIdentity> Database::meters(const Selection& selection) {
    std::vector<std::string> parameters;
    std::vector<MeterIdentity> found;
    // Meter clocks came with version 4: before, every time was the meter's wall time as UTC.
    const std::string zone = read_version_ >= 4 ? "coalesce(clock_zone, 'UTC')" : "'UTC'";
    each_row("SELECT serial, model, model_name, firmware, host, port, " + time_text("last_seen") +
                 ", " + zone + " FROM meters" + where(selection, nullptr, parameters) +
                 " ORDER BY serial",
             parameters, [&](const Row& r) {
                 found.push_back({r.integer(0), r.text(1), r.text(2), r.text(3), r.text(4),
                                  static_cast<int>(r.integer(5)), r.text(6), r.text(7)});
             });
    return found;
}

std::vector<MeterPlace> Database::meter_places() {
    std::vector<MeterPlace> found;
    const std::string unit = read_version_ >= 2 ? "unit" : "1";
    const std::string name = read_version_ >= 3 ? "name" : "''";
    each_row("SELECT serial, host, port, " + unit + ", " + name +
                 " FROM meters ORDER BY last_seen, serial",
             {}, [&](const Row& r) {
                 found.push_back({r.integer(0), r.text(1), static_cast<int>(r.integer(2)),
                                  static_cast<int>(r.integer(3)), r.text(4)});
             });
    return found;
}

void Database::each_value(const Selection& selection,
                          const std::function<void(const ValueRow&)>& take) {
    std::vector<std::string> parameters;
    const std::string filter = where(selection, "recorded_at", parameters);
    ValueRow row;
    each_row("SELECT serial, file_id, " + time_text("recorded_at") +
                 ", seq, name, unit, value FROM datalog_values" + filter +
                 " ORDER BY serial, file_id, recorded_at, seq",
             parameters, [&](const Row& r) {
                 row = {r.integer(0), static_cast<int>(r.integer(1)),
                        r.text(2),    static_cast<int>(r.integer(3)),
                        r.text(4),    r.text(5),
                        r.real(6)};
                 take(row);
             });
}

void Database::each_event(const Selection& selection,
                          const std::function<void(std::int64_t, const EventRow&)>& take) {
    std::vector<std::string> parameters;
    const std::string filter = where(selection, "recorded_at", parameters);
    EventRow row;
    each_row(
        "SELECT serial, " + time_text("recorded_at") +
            ", seq, event_no, cause, point, state, effect, target, value_triggered FROM events" +
            filter + " ORDER BY serial, recorded_at, seq",
        parameters, [&](const Row& r) {
            row.recorded_at = r.text(1);
            row.seq = static_cast<int>(r.integer(2));
            row.event_no = static_cast<int>(r.integer(3));
            row.cause = r.text(4);
            row.point = r.text(5);
            row.state = r.text(6);
            row.effect = r.text(7);
            row.target = r.text(8);
            row.value_triggered = r.integer(9);
            take(r.integer(0), row);
        });
}

void Database::each_collection(const Selection& selection,
                               const std::function<void(const CollectionRow&)>& take) {
    if (read_version_ < 5) return;
    std::vector<std::string> parameters;
    const std::string filter = where(selection, "finished_at", parameters);
    CollectionRow row;
    each_row("SELECT CASE WHEN serial IS NULL THEN 0 ELSE 1 END, serial, host, port, unit, name, " +
                 time_text("started_at") + ", " + time_text("finished_at") +
                 ", outcome, coalesce(error, ''), logs, CASE WHEN newest_record IS NULL THEN 0 "
                 "ELSE 1 END, " +
                 time_text("newest_record") + ", newest_age_s, warnings FROM collections" + filter +
                 " ORDER BY serial NULLS FIRST, finished_at, started_at",
             parameters, [&](const Row& r) {
                 row.serial.reset();
                 if (r.integer(0) != 0) row.serial = r.integer(1);
                 row.host = r.text(2);
                 row.port = static_cast<int>(r.integer(3));
                 row.unit = static_cast<int>(r.integer(4));
                 row.name = r.text(5);
                 row.started_at = r.text(6);
                 row.finished_at = r.text(7);
                 row.outcome = r.text(8);
                 row.error = r.text(9);
                 row.logs = r.text(10);
                 row.newest_record.reset();
                 if (r.integer(11) != 0) row.newest_record = r.text(12);
                 row.newest_age_s.reset();
                 if (const double age = r.real(13); !std::isnan(age)) row.newest_age_s = age;
                 row.warnings = r.text(14);
                 take(row);
             });
}

void Database::each_gap(const Selection& selection,
                        const std::function<void(const GapRow&)>& take) {
    if (read_version_ < 5) return;
    std::vector<std::string> parameters;
    std::string filter = where(selection, nullptr, parameters);
    // A gap overlaps [from, to) when it ends at or after from and begins before to.
    const auto overlap = [&](const std::optional<std::string>& time, const char* term) {
        if (!time) return;
        parameters.push_back(*time);
        filter += (filter.empty() ? " WHERE " : " AND ") + std::string(term) +
                  time_parameter(static_cast<int>(parameters.size()));
    };
    overlap(selection.from, "gap_to >= ");
    overlap(selection.to, "gap_from < ");
    GapRow row;
    each_row("SELECT serial, file_id, " + time_text("gap_from") + ", " + time_text("gap_to") +
                 ", missing, cause FROM gaps" + filter + " ORDER BY serial, file_id, gap_from",
             parameters, [&](const Row& r) {
                 row = {r.integer(0), static_cast<int>(r.integer(1)),
                        r.text(2),    r.text(3),
                        r.integer(4), r.text(5)};
                 take(row);
             });
}

void Database::each_day(const Selection& selection,
                        const std::function<void(const DayRow&)>& take) {
    if (read_version_ < 5) return;
    std::vector<std::string> parameters;
    const std::string filter = where(selection, nullptr, parameters);
    DayRow row;
    each_row("SELECT serial, file_id, " + day_text("day") +
                 ", interval_s, expected, present "
                 "FROM completeness" +
                 filter + " ORDER BY serial, file_id, day",
             parameters, [&](const Row& r) {
                 row = {r.integer(0), static_cast<int>(r.integer(1)),
                        r.text(2),    r.real(3),
                        r.integer(4), r.integer(5)};
                 take(row);
             });
}

std::int64_t month_index(const std::string& month) {
    if (month.size() < 7) throw std::runtime_error("no month: '" + month + "'");
    return std::stoll(month.substr(0, 4)) * 12 + std::stoll(month.substr(5, 2)) - 1;
}

std::optional<std::string> Database::kept_energy_until(std::int64_t serial, int file_id) {
    std::optional<std::string> kept;
    each_row("SELECT " + time_text("newest_record") + " FROM energy_logs WHERE serial = " +
                 std::to_string(serial) + " AND file_id = " + std::to_string(file_id),
             {}, [&](const Row& r) { kept = r.text(0); });
    return kept;
}

std::optional<LogPosition> Database::published_position(std::int64_t serial, int file_id) {
    std::optional<LogPosition> position;
    each_row("SELECT " + time_text("recorded_at") +
                 ", seq FROM published_positions WHERE serial = " + std::to_string(serial) +
                 " AND file_id = " + std::to_string(file_id),
             {}, [&](const Row& r) {
                 position = LogPosition{r.text(0), static_cast<int>(r.integer(1))};
             });
    return position;
}

std::vector<int> Database::datalog_files(std::int64_t serial) {
    std::vector<int> files;
    each_row("SELECT file_id FROM log_directory WHERE type = 'datalog' AND serial = " +
                 std::to_string(serial) + " ORDER BY file_id",
             {}, [&](const Row& r) { files.push_back(static_cast<int>(r.integer(0))); });
    return files;
}

namespace {

// " AND (recorded_at, seq) > (<time>, <seq>)": the records after `position`, its time the
// query's parameter `n`.
std::string after_clause(const std::string& comparison, const std::string& time_parameter,
                         const LogPosition& position) {
    return " AND (recorded_at, seq) " + comparison + " (" + time_parameter + ", " +
           std::to_string(position.seq) + ")";
}

}  // namespace

std::vector<DatalogRecord> Database::datalog_records_after(std::int64_t serial, int file_id,
                                                           const std::optional<LogPosition>& after,
                                                           int limit) {
    const std::string log =
        " WHERE serial = " + std::to_string(serial) + " AND file_id = " + std::to_string(file_id);
    std::vector<std::string> parameters;
    std::string filter = log;
    if (after) {
        filter += after_clause(">", time_parameter(1), *after);
        parameters.push_back(after->recorded_at);
    }
    // The records first, then their values: a record without values is published too.
    std::vector<DatalogRecord> records;
    each_row("SELECT " + time_text("recorded_at") + ", seq, " + wall_text("meter_time") +
                 " FROM datalog_records" + filter + " ORDER BY recorded_at, seq LIMIT " +
                 std::to_string(limit),
             parameters, [&](const Row& r) {
                 records.push_back({r.text(0), static_cast<int>(r.integer(1)), r.text(2), {}, {}});
             });
    if (records.empty()) return records;
    parameters.push_back(records.back().recorded_at);
    filter += after_clause("<=", time_parameter(static_cast<int>(parameters.size())),
                           {records.back().recorded_at, records.back().seq});
    auto record = records.begin();
    each_row("SELECT " + time_text("recorded_at") + ", seq, name, unit, value FROM datalog_values" +
                 filter + " ORDER BY recorded_at, seq",
             parameters, [&](const Row& r) {
                 const std::string recorded_at = r.text(0);
                 const auto seq = static_cast<int>(r.integer(1));
                 while (record != records.end() &&
                        (record->recorded_at != recorded_at || record->seq != seq))
                     ++record;
                 if (record == records.end()) return;
                 record->columns.push_back({r.text(2), r.text(3)});
                 record->values.push_back(r.real(4));
             });
    return records;
}

std::vector<EventRow> Database::events_after(std::int64_t serial,
                                             const std::optional<LogPosition>& after, int limit) {
    std::vector<std::string> parameters;
    std::string filter = " WHERE serial = " + std::to_string(serial);
    if (after) {
        filter += after_clause(">", time_parameter(1), *after);
        parameters.push_back(after->recorded_at);
    }
    std::vector<EventRow> events;
    each_row("SELECT " + time_text("recorded_at") +
                 ", seq, event_no, cause, point, state, effect, target, value_triggered, " +
                 wall_text("meter_time") + " FROM events" + filter +
                 " ORDER BY recorded_at, seq LIMIT " + std::to_string(limit),
             parameters, [&](const Row& r) {
                 EventRow row;
                 row.recorded_at = r.text(0);
                 row.seq = static_cast<int>(r.integer(1));
                 row.event_no = static_cast<int>(r.integer(2));
                 row.cause = r.text(3);
                 row.point = r.text(4);
                 row.state = r.text(5);
                 row.effect = r.text(6);
                 row.target = r.text(7);
                 row.value_triggered = r.integer(8);
                 row.meter_time = r.text(9);
                 events.push_back(std::move(row));
             });
    return events;
}

namespace {

// The columns of energy_interval_rows that make an EnergyIntervalRow.
EnergyIntervalRow interval_of(const Row& r) {
    EnergyIntervalRow row{r.text(0), r.text(1),    r.text(2),
                          r.text(3), std::nullopt, r.integer(5) != 0};
    if (r.integer(6) != 0) row.energy = r.real(4);
    return row;
}

}  // namespace

std::string Database::counter_filter(std::int64_t serial, int file_id, const CounterColumn& column,
                                     std::vector<std::string>& parameters) const {
    parameters.push_back(column.name);
    parameters.push_back(column.unit);
    return " WHERE serial = " + std::to_string(serial) +
           " AND file_id = " + std::to_string(file_id) +
           " AND name = " + parameter(int(parameters.size()) - 1) +
           " AND unit = " + parameter(int(parameters.size()));
}

std::string Database::interval_columns() const {
    return "SELECT " + time_text("started_at") + ", " + time_text("ended_at") + ", " +
           wall_text("start_meter_time") + ", " + wall_text("end_meter_time") +
           ", coalesce(energy, 0), CASE WHEN gap THEN 1 ELSE 0 END, "
           "CASE WHEN energy IS NULL THEN 0 ELSE 1 END FROM energy_interval_rows";
}

std::vector<EnergyIntervalRow> Database::counted_intervals(std::int64_t serial, int file_id,
                                                           const CounterColumn& column,
                                                           const std::string& until, int count) {
    std::vector<std::string> parameters;
    std::string sql = interval_columns() + counter_filter(serial, file_id, column, parameters);
    parameters.push_back(until);
    sql += " AND energy IS NOT NULL AND ended_at <= " + time_parameter(int(parameters.size())) +
           " ORDER BY ended_at DESC LIMIT " + std::to_string(count);
    std::vector<EnergyIntervalRow> rows;
    each_row(sql, parameters, [&](const Row& r) { rows.push_back(interval_of(r)); });
    return rows;
}

std::vector<EnergyIntervalRow> Database::kept_intervals(std::int64_t serial, int file_id,
                                                        const CounterColumn& column,
                                                        const std::string& after,
                                                        const std::string& until) {
    std::vector<std::string> parameters;
    std::string sql = interval_columns() + counter_filter(serial, file_id, column, parameters);
    parameters.push_back(after);
    sql += " AND ended_at > " + time_parameter(int(parameters.size()));
    parameters.push_back(until);
    sql += " AND ended_at <= " + time_parameter(int(parameters.size())) + " ORDER BY ended_at";
    std::vector<EnergyIntervalRow> rows;
    each_row(sql, parameters, [&](const Row& r) { rows.push_back(interval_of(r)); });
    return rows;
}

std::vector<EnergyPeriodRow> Database::kept_days(std::int64_t serial, int file_id,
                                                 const CounterColumn& column,
                                                 const std::string& first,
                                                 const std::string& last) {
    std::vector<std::string> parameters;
    std::string sql = "SELECT " + day_text("day") +
                      ", energy, hole_energy, glitches, days, CASE WHEN partial THEN 1 ELSE 0 END, "
                      "CASE WHEN peak_power IS NULL THEN 0 ELSE 1 END, coalesce(peak_power, 0), " +
                      time_text("peak_start") + ", " + time_text("peak_end") + ", " +
                      wall_text("peak_start_meter_time") + ", " + wall_text("peak_end_meter_time") +
                      " FROM energy_day_rows" + counter_filter(serial, file_id, column, parameters);
    parameters.push_back(first);
    sql += " AND day >= " + parameter(int(parameters.size()));
    parameters.push_back(last);
    sql += " AND day <= " + parameter(int(parameters.size())) + " ORDER BY day";
    std::vector<EnergyPeriodRow> rows;
    each_row(sql, parameters, [&](const Row& r) {
        EnergyPeriodRow& day = rows.emplace_back();
        day.period = r.text(0);
        day.energy = r.real(1);
        day.hole_energy = r.real(2);
        day.glitches = r.integer(3);
        day.days = r.integer(4);
        day.partial = r.integer(5) != 0;
        if (r.integer(6) != 0)
            day.peak = EnergyPeakRow{r.real(7), r.text(8), r.text(9), r.text(10), r.text(11)};
    });
    return rows;
}

}  // namespace kdb
