// SPDX-License-Identifier: MIT
// The collected database in PostgreSQL: the tables and views of the SQLite schema in native
// types (timestamptz, jsonb, float8[]). The stable query surface lives in the views; the tables
// underneath may change, through a new step here, never by hand.
#include "database/schema.hpp"

#include <array>

namespace kdb {
namespace {

constexpr const char* VERSION_1 = R"sql(
CREATE TABLE meters(
  serial bigint PRIMARY KEY, model text NOT NULL, model_name text NOT NULL, firmware text NOT NULL,
  host text NOT NULL, port integer NOT NULL, last_seen timestamptz NOT NULL, info jsonb NOT NULL);
CREATE TABLE log_directory(
  serial bigint NOT NULL, file_id integer NOT NULL, type text NOT NULL, records integer NOT NULL,
  columns jsonb, seen_at timestamptz NOT NULL, PRIMARY KEY(serial, file_id));
CREATE TABLE datalog_layouts(
  layout_id bigserial PRIMARY KEY, serial bigint NOT NULL, file_id integer NOT NULL, columns jsonb NOT NULL,
  UNIQUE(serial, file_id, columns));
CREATE TABLE datalog_records(
  serial bigint NOT NULL, file_id integer NOT NULL, recorded_at timestamptz NOT NULL, seq integer NOT NULL,
  trigger text NOT NULL, layout_id bigint NOT NULL REFERENCES datalog_layouts, vals double precision[] NOT NULL,
  PRIMARY KEY(serial, file_id, recorded_at, seq));
CREATE TABLE event_records(
  serial bigint NOT NULL, recorded_at timestamptz NOT NULL, seq integer NOT NULL, event_no integer NOT NULL,
  cause text NOT NULL, point text NOT NULL, state text NOT NULL, effect text NOT NULL, target text NOT NULL,
  source_id integer NOT NULL, effect_id integer NOT NULL, value_triggered bigint NOT NULL,
  PRIMARY KEY(serial, recorded_at, seq));
CREATE TABLE live_readings(
  serial bigint NOT NULL, taken_at timestamptz NOT NULL, pid integer NOT NULL, name text NOT NULL,
  unit text NOT NULL, value double precision NOT NULL, PRIMARY KEY(serial, taken_at, pid));
CREATE VIEW datalog_values AS
  SELECT r.serial, r.file_id, r.recorded_at, r.seq, c.col->>0 AS name, c.col->>1 AS unit, v.value
  FROM datalog_records r
  JOIN datalog_layouts l ON l.layout_id = r.layout_id
  CROSS JOIN LATERAL unnest(r.vals) WITH ORDINALITY AS v(value, n)
  JOIN LATERAL jsonb_array_elements(l.columns) WITH ORDINALITY AS c(col, n) ON c.n = v.n;
CREATE VIEW events AS
  SELECT serial, recorded_at, seq, event_no, cause, point, state, effect, target, value_triggered
  FROM event_records;
CREATE VIEW readings AS
  SELECT serial, taken_at, name, unit, value FROM live_readings;
CREATE TABLE schema_version(version integer NOT NULL);
INSERT INTO schema_version VALUES(1);
)sql";

// The Modbus unit id a meter answered at, for meters that share one address behind a gateway.
constexpr const char* VERSION_2 = R"sql(
ALTER TABLE meters ADD COLUMN unit integer NOT NULL DEFAULT 1;
)sql";

// The site's own name for a meter, from its line of the hosts file ('' when it has none).
constexpr const char* VERSION_3 = R"sql(
ALTER TABLE meters ADD COLUMN name text NOT NULL DEFAULT '';
)sql";

// Meter clocks: each record keeps the meter's own wall time beside its true UTC time, and each
// meter the zone its records were converted with (NULL: stored before, the wall time labelled
// UTC, until the next collection converts them).
constexpr const char* VERSION_4 = R"sql(
ALTER TABLE datalog_records ADD COLUMN meter_time timestamp;
ALTER TABLE event_records ADD COLUMN meter_time timestamp;
ALTER TABLE meters ADD COLUMN clock_zone text;
CREATE OR REPLACE VIEW datalog_values AS
  SELECT r.serial, r.file_id, r.recorded_at, r.seq, c.col->>0 AS name, c.col->>1 AS unit, v.value,
         r.meter_time
  FROM datalog_records r
  JOIN datalog_layouts l ON l.layout_id = r.layout_id
  CROSS JOIN LATERAL unnest(r.vals) WITH ORDINALITY AS v(value, n)
  JOIN LATERAL jsonb_array_elements(l.columns) WITH ORDINALITY AS c(col, n) ON c.n = v.n;
CREATE OR REPLACE VIEW events AS
  SELECT serial, recorded_at, seq, event_no, cause, point, state, effect, target, value_triggered,
         meter_time
  FROM event_records;
)sql";

// A record of every collection (one row per meter per pass) and the records known missing.
constexpr const char* VERSION_5 = R"sql(
CREATE TABLE collection_passes(
  started_at timestamptz NOT NULL, finished_at timestamptz NOT NULL, host text NOT NULL,
  port integer NOT NULL, unit integer NOT NULL, name text NOT NULL, serial bigint,
  outcome text NOT NULL, error text, logs jsonb NOT NULL, newest_record timestamptz,
  newest_age_s double precision, warnings jsonb NOT NULL,
  PRIMARY KEY(host, port, unit, started_at));
CREATE INDEX collection_passes_by_serial ON collection_passes(serial, started_at);
CREATE VIEW collections AS
  SELECT serial, host, port, unit, name, started_at, finished_at, outcome, error, logs,
         newest_record, newest_age_s, warnings
  FROM collection_passes;
CREATE TABLE log_gaps(
  serial bigint NOT NULL, file_id integer NOT NULL, gap_from timestamptz NOT NULL,
  gap_to timestamptz NOT NULL, missing bigint NOT NULL, cause text NOT NULL,
  found_at timestamptz NOT NULL, PRIMARY KEY(serial, file_id, gap_from));
CREATE VIEW gaps AS
  SELECT serial, file_id, gap_from, gap_to, missing, cause, found_at FROM log_gaps;
CREATE TABLE log_days(
  serial bigint NOT NULL, file_id integer NOT NULL, day date NOT NULL,
  interval_s double precision NOT NULL, expected integer NOT NULL, present integer NOT NULL,
  PRIMARY KEY(serial, file_id, day));
CREATE VIEW completeness AS
  SELECT serial, file_id, day, interval_s, expected, present,
         greatest(expected - present, 0) AS missing
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
        WINDOW w AS (PARTITION BY serial, file_id, name, unit ORDER BY recorded_at, seq)) AS steps
  WHERE step IS NOT NULL;
CREATE VIEW energy_days AS
  SELECT serial, file_id, name, unit, day, energy, glitches,
         day = min(day) OVER w OR day = max(day) OVER w AS partial
  FROM (SELECT serial, file_id, name, unit, meter_time::date AS day,
               coalesce(sum(energy) FILTER (WHERE NOT glitch), 0) AS energy,
               count(*) FILTER (WHERE glitch) AS glitches
        FROM energy_intervals GROUP BY serial, file_id, name, unit, meter_time::date) AS days
  WINDOW w AS (PARTITION BY serial, file_id, name, unit);
)sql";

// How each meter is reached, and energy kept as the collector writes: each counter's intervals,
// days and months, computed from the records by the collector (the glitch rule needs the records
// around a step, which SQL cannot weigh), so that a query reads the rows it asks for. The logs
// whose energy is kept are listed; the others are computed whole at their next collection.
constexpr const char* VERSION_6 = R"sql(
-- How each meter is reached: Modbus TCP, RTU on a serial line (its host the device) or RTU over TCP.
ALTER TABLE meters ADD COLUMN transport text NOT NULL DEFAULT 'tcp';
ALTER TABLE collection_passes ADD COLUMN transport text NOT NULL DEFAULT 'tcp';
CREATE OR REPLACE VIEW collections AS
  SELECT serial, host, port, unit, name, started_at, finished_at, outcome, error, logs,
         newest_record, newest_age_s, warnings, transport
  FROM collection_passes;
CREATE TABLE energy_logs(
  serial bigint NOT NULL, file_id integer NOT NULL, newest_record timestamptz NOT NULL,
  PRIMARY KEY(serial, file_id));
CREATE TABLE energy_interval_rows(
  serial bigint NOT NULL, file_id integer NOT NULL, name text NOT NULL, unit text NOT NULL,
  ended_at timestamptz NOT NULL, started_at timestamptz NOT NULL,
  end_meter_time timestamp NOT NULL, start_meter_time timestamp NOT NULL,
  energy double precision, gap boolean NOT NULL,
  PRIMARY KEY(serial, file_id, name, unit, ended_at));
CREATE TABLE energy_day_rows(
  serial bigint NOT NULL, file_id integer NOT NULL, name text NOT NULL, unit text NOT NULL,
  day date NOT NULL, energy double precision NOT NULL, hole_energy double precision NOT NULL,
  glitches integer NOT NULL, days integer NOT NULL, partial boolean NOT NULL,
  peak_power double precision, peak_start timestamptz, peak_end timestamptz,
  peak_start_meter_time timestamp, peak_end_meter_time timestamp,
  PRIMARY KEY(serial, file_id, name, unit, day));
CREATE TABLE energy_month_rows(
  serial bigint NOT NULL, file_id integer NOT NULL, name text NOT NULL, unit text NOT NULL,
  month text NOT NULL, month_index integer NOT NULL, energy double precision NOT NULL,
  hole_energy double precision NOT NULL, glitches integer NOT NULL, days integer NOT NULL,
  days_in integer NOT NULL, partial boolean NOT NULL, peak_power double precision,
  peak_start timestamptz, peak_end timestamptz, peak_start_meter_time timestamp,
  peak_end_meter_time timestamp,
  PRIMARY KEY(serial, file_id, name, unit, month));
DROP VIEW energy_days;
DROP VIEW energy_intervals;
CREATE VIEW energy_intervals AS
  SELECT serial, file_id, name, unit, ended_at AS recorded_at, end_meter_time AS meter_time,
         energy, energy IS NULL AS glitch, started_at, start_meter_time,
         energy / nullif(extract(epoch FROM ended_at - started_at) / 3600, 0) AS power, gap
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
  serial bigint NOT NULL, file_id integer NOT NULL, recorded_at timestamptz NOT NULL, seq integer NOT NULL,
  PRIMARY KEY(serial, file_id));
)sql";

constexpr std::array<const char*, SCHEMA_VERSION> STEPS{VERSION_1, VERSION_2, VERSION_3, VERSION_4,
                                                        VERSION_5, VERSION_6, VERSION_7};

}  // namespace

std::span<const char* const> postgres_schema_steps() { return STEPS; }

}  // namespace kdb
