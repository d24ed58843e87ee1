// SPDX-License-Identifier: MIT
// The collected database in SQLite. Times are ISO 8601 texts in UTC with milliseconds, which
// sort as the times do. The stable query surface lives in the views; the tables underneath may
// change, through a new step here, never by hand.
#include "database/schema.hpp"

#include <array>

namespace kdb {
namespace {

constexpr const char* VERSION_1 = R"sql(
CREATE TABLE meters(
  serial INTEGER PRIMARY KEY, model TEXT NOT NULL, model_name TEXT NOT NULL, firmware TEXT NOT NULL,
  host TEXT NOT NULL, port INTEGER NOT NULL, last_seen TEXT NOT NULL, info TEXT NOT NULL);
CREATE TABLE log_directory(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, type TEXT NOT NULL, records INTEGER NOT NULL,
  columns TEXT, seen_at TEXT NOT NULL, PRIMARY KEY(serial, file_id));
CREATE TABLE datalog_layouts(
  layout_id INTEGER PRIMARY KEY, serial INTEGER NOT NULL, file_id INTEGER NOT NULL, columns TEXT NOT NULL,
  UNIQUE(serial, file_id, columns));
CREATE TABLE datalog_records(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, recorded_at TEXT NOT NULL, seq INTEGER NOT NULL,
  trigger TEXT NOT NULL, layout_id INTEGER NOT NULL REFERENCES datalog_layouts, vals TEXT NOT NULL,
  PRIMARY KEY(serial, file_id, recorded_at, seq)) WITHOUT ROWID;
CREATE TABLE event_records(
  serial INTEGER NOT NULL, recorded_at TEXT NOT NULL, seq INTEGER NOT NULL, event_no INTEGER NOT NULL,
  cause TEXT NOT NULL, point TEXT NOT NULL, state TEXT NOT NULL, effect TEXT NOT NULL, target TEXT NOT NULL,
  source_id INTEGER NOT NULL, effect_id INTEGER NOT NULL, value_triggered INTEGER NOT NULL,
  PRIMARY KEY(serial, recorded_at, seq)) WITHOUT ROWID;
CREATE TABLE live_readings(
  serial INTEGER NOT NULL, taken_at TEXT NOT NULL, pid INTEGER NOT NULL, name TEXT NOT NULL,
  unit TEXT NOT NULL, value REAL NOT NULL, PRIMARY KEY(serial, taken_at, pid)) WITHOUT ROWID;
CREATE VIEW datalog_values AS
  SELECT r.serial, r.file_id, r.recorded_at, r.seq, json_extract(c.value, '$[0]') AS name,
         json_extract(c.value, '$[1]') AS unit, v.value AS value
  FROM datalog_records r
  JOIN datalog_layouts l ON l.layout_id = r.layout_id
  JOIN json_each(r.vals) v
  JOIN json_each(l.columns) c ON c.key = v.key;
CREATE VIEW events AS
  SELECT serial, recorded_at, seq, event_no, cause, point, state, effect, target, value_triggered
  FROM event_records;
CREATE VIEW readings AS
  SELECT serial, taken_at, name, unit, value FROM live_readings;
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version VALUES(1);
)sql";

// The Modbus unit id a meter answered at, for meters that share one address behind a gateway.
constexpr const char* VERSION_2 = R"sql(
ALTER TABLE meters ADD COLUMN unit INTEGER NOT NULL DEFAULT 1;
)sql";

// The site's own name for a meter, from its line of the hosts file ('' when it has none).
constexpr const char* VERSION_3 = R"sql(
ALTER TABLE meters ADD COLUMN name TEXT NOT NULL DEFAULT '';
)sql";

// Meter clocks: each record keeps the meter's own wall time beside its true UTC time, and each
// meter the zone its records were converted with (NULL: stored before, the wall time labelled
// UTC, until the next collection converts them).
constexpr const char* VERSION_4 = R"sql(
ALTER TABLE datalog_records ADD COLUMN meter_time TEXT;
ALTER TABLE event_records ADD COLUMN meter_time TEXT;
ALTER TABLE meters ADD COLUMN clock_zone TEXT;
DROP VIEW datalog_values;
CREATE VIEW datalog_values AS
  SELECT r.serial, r.file_id, r.recorded_at, r.seq, json_extract(c.value, '$[0]') AS name,
         json_extract(c.value, '$[1]') AS unit, v.value AS value, r.meter_time
  FROM datalog_records r
  JOIN datalog_layouts l ON l.layout_id = r.layout_id
  JOIN json_each(r.vals) v
  JOIN json_each(l.columns) c ON c.key = v.key;
DROP VIEW events;
CREATE VIEW events AS
  SELECT serial, recorded_at, seq, event_no, cause, point, state, effect, target, value_triggered,
         meter_time
  FROM event_records;
)sql";

// A record of every collection (one row per meter per pass) and the records known missing.
constexpr const char* VERSION_5 = R"sql(
CREATE TABLE collection_passes(
  started_at TEXT NOT NULL, finished_at TEXT NOT NULL, host TEXT NOT NULL, port INTEGER NOT NULL,
  unit INTEGER NOT NULL, name TEXT NOT NULL, serial INTEGER, outcome TEXT NOT NULL, error TEXT,
  logs TEXT NOT NULL, newest_record TEXT, newest_age_s REAL, warnings TEXT NOT NULL,
  PRIMARY KEY(host, port, unit, started_at));
CREATE INDEX collection_passes_by_serial ON collection_passes(serial, started_at);
CREATE VIEW collections AS
  SELECT serial, host, port, unit, name, started_at, finished_at, outcome, error, logs,
         newest_record, newest_age_s, warnings
  FROM collection_passes;
CREATE TABLE log_gaps(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, gap_from TEXT NOT NULL, gap_to TEXT NOT NULL,
  missing INTEGER NOT NULL, cause TEXT NOT NULL, found_at TEXT NOT NULL,
  PRIMARY KEY(serial, file_id, gap_from)) WITHOUT ROWID;
CREATE VIEW gaps AS
  SELECT serial, file_id, gap_from, gap_to, missing, cause, found_at FROM log_gaps;
CREATE TABLE log_days(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, day TEXT NOT NULL, interval_s REAL NOT NULL,
  expected INTEGER NOT NULL, present INTEGER NOT NULL, PRIMARY KEY(serial, file_id, day))
  WITHOUT ROWID;
CREATE VIEW completeness AS
  SELECT serial, file_id, day, interval_s, expected, present, max(expected - present, 0) AS missing
  FROM log_days;
-- A step back is a glitch, left out; the step after a one-record dip counts from before the dip,
-- so that neither the dip nor the rebound is a huge step, and a counter reset counts on from zero.
CREATE VIEW energy_intervals AS
  SELECT serial, file_id, name, unit, recorded_at, meter_time,
         CASE WHEN step < 0 THEN NULL
              WHEN previous_step < 0 AND since_before >= 0 THEN since_before
              ELSE step END AS energy,
         step < 0 AS glitch
  FROM (SELECT serial, file_id, name, unit, recorded_at, meter_time,
               value - lag(value) OVER w AS step,
               lag(value) OVER w - lag(value, 2) OVER w AS previous_step,
               value - lag(value, 2) OVER w AS since_before
        FROM datalog_values
        WHERE unit LIKE '%Wh' OR unit LIKE '%varh' OR unit LIKE '%VAh'
        WINDOW w AS (PARTITION BY serial, file_id, name, unit ORDER BY recorded_at, seq))
  WHERE step IS NOT NULL;
CREATE VIEW energy_days AS
  SELECT serial, file_id, name, unit, day, energy, glitches,
         day = min(day) OVER w OR day = max(day) OVER w AS partial
  FROM (SELECT serial, file_id, name, unit, substr(meter_time, 1, 10) AS day,
               total(CASE WHEN NOT glitch THEN energy END) AS energy, sum(glitch) AS glitches
        FROM energy_intervals GROUP BY serial, file_id, name, unit, day)
  WINDOW w AS (PARTITION BY serial, file_id, name, unit);
)sql";

// How each meter is reached, and energy kept as the collector writes: each counter's intervals,
// days and months, computed from the records by the collector (the glitch rule needs the records
// around a step, which SQL cannot weigh), so that a query reads the rows it asks for. The logs
// whose energy is kept are listed; the others are computed whole at their next collection.
constexpr const char* VERSION_6 = R"sql(
-- How each meter is reached: Modbus TCP, RTU on a serial line (its host the device) or RTU over TCP.
ALTER TABLE meters ADD COLUMN transport TEXT NOT NULL DEFAULT 'tcp';
ALTER TABLE collection_passes ADD COLUMN transport TEXT NOT NULL DEFAULT 'tcp';
DROP VIEW collections;
CREATE VIEW collections AS
  SELECT serial, host, port, unit, name, started_at, finished_at, outcome, error, logs,
         newest_record, newest_age_s, warnings, transport
  FROM collection_passes;
CREATE TABLE energy_logs(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, newest_record TEXT NOT NULL,
  PRIMARY KEY(serial, file_id)) WITHOUT ROWID;
CREATE TABLE energy_interval_rows(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, name TEXT NOT NULL, unit TEXT NOT NULL,
  ended_at TEXT NOT NULL, started_at TEXT NOT NULL, end_meter_time TEXT NOT NULL,
  start_meter_time TEXT NOT NULL, energy REAL, gap INTEGER NOT NULL,
  PRIMARY KEY(serial, file_id, name, unit, ended_at)) WITHOUT ROWID;
CREATE TABLE energy_day_rows(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, name TEXT NOT NULL, unit TEXT NOT NULL,
  day TEXT NOT NULL, energy REAL NOT NULL, hole_energy REAL NOT NULL, glitches INTEGER NOT NULL,
  days INTEGER NOT NULL, partial INTEGER NOT NULL, peak_power REAL, peak_start TEXT, peak_end TEXT,
  peak_start_meter_time TEXT, peak_end_meter_time TEXT,
  PRIMARY KEY(serial, file_id, name, unit, day)) WITHOUT ROWID;
CREATE TABLE energy_month_rows(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, name TEXT NOT NULL, unit TEXT NOT NULL,
  month TEXT NOT NULL, month_index INTEGER NOT NULL, energy REAL NOT NULL,
  hole_energy REAL NOT NULL, glitches INTEGER NOT NULL, days INTEGER NOT NULL,
  days_in INTEGER NOT NULL, partial INTEGER NOT NULL, peak_power REAL, peak_start TEXT,
  peak_end TEXT, peak_start_meter_time TEXT, peak_end_meter_time TEXT,
  PRIMARY KEY(serial, file_id, name, unit, month)) WITHOUT ROWID;
DROP VIEW energy_days;
DROP VIEW energy_intervals;
CREATE VIEW energy_intervals AS
  SELECT serial, file_id, name, unit, ended_at AS recorded_at, end_meter_time AS meter_time,
         energy, energy IS NULL AS glitch, started_at, start_meter_time,
         energy / ((julianday(ended_at) - julianday(started_at)) * 24) AS power, gap
  FROM energy_interval_rows;
CREATE VIEW energy_days AS
  SELECT serial, file_id, name, unit, day, energy, glitches, partial, hole_energy, peak_power,
         peak_start, peak_end, peak_start_meter_time, peak_end_meter_time
  FROM energy_day_rows;
CREATE VIEW energy_months AS
  SELECT serial, file_id, name, unit, month, energy, glitches, partial, hole_energy, days, days_in,
         peak_power, peak_start, peak_end, peak_start_meter_time, peak_end_meter_time
  FROM energy_month_rows;
CREATE VIEW demand_peaks AS
  SELECT serial, file_id, name, unit, month, peak_power AS power, peak_start AS started_at,
         peak_end AS ended_at, peak_start_meter_time AS start_meter_time,
         peak_end_meter_time AS end_meter_time,
         (SELECT max(y.peak_power) FROM energy_month_rows y
          WHERE y.serial = m.serial AND y.file_id = m.file_id AND y.name = m.name
            AND y.unit = m.unit AND y.month_index BETWEEN m.month_index - 11 AND m.month_index)
           AS peak_12_months
  FROM energy_month_rows m;
)sql";

// What kolvane mqtt published of each meter's logs (file id 0: the event log): the newest record
// the broker acknowledged, so that the next run goes on after it.
constexpr const char* VERSION_7 = R"sql(
CREATE TABLE published_positions(
  serial INTEGER NOT NULL, file_id INTEGER NOT NULL, recorded_at TEXT NOT NULL, seq INTEGER NOT NULL,
  PRIMARY KEY(serial, file_id)) WITHOUT ROWID;
)sql";

constexpr std::array<const char*, SCHEMA_VERSION> STEPS{VERSION_1, VERSION_2, VERSION_3, VERSION_4,
                                                        VERSION_5, VERSION_6, VERSION_7};

}  // namespace

std::span<const char* const> sqlite_schema_steps() { return STEPS; }

}  // namespace kdb
