// SPDX-License-Identifier: MIT
// The PostgreSQL backend through libpq: prepared inserts of whole batches as arrays with ON
// CONFLICT DO NOTHING, one transaction per batch, and session advisory locks keyed by serial so
// that collectors sharing the database never read one meter at once.
#include "../postgres_connection.hpp"
#include "store.hpp"

#include <libpq-fe.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <stdexcept>
#include <vector>

namespace kcollect {
namespace {

// Advisory lock keys: "kolv" in the upper half, the serial in the lower; "kolw" guards the schema.
constexpr long long METER_LOCK_BASE = 0x6B6F6C76LL << 32;
constexpr long long SCHEMA_LOCK = 0x6B6F6C77LL << 32;

constexpr const char* SCHEMA = R"sql(
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

// A float8[] literal: the JSON array's brackets become braces.
std::string array_literal(const std::vector<double>& values) {
    std::string text = nlohmann::json(values).dump();
    text.front() = '{';
    text.back() = '}';
    return text;
}

class Result {
public:
    explicit Result(PGresult* r) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* get() const { return r_; }

private:
    PGresult* r_;
};

class Connection {
public:
    explicit Connection(const std::string& uri) : c_(kcli::connect_postgres(uri)) {
        exec("SET client_min_messages = warning");
    }
    ~Connection() { PQfinish(c_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs `sql` with text parameters; returns the rows it changed or the first value it returned.
    std::int64_t exec(const std::string& sql, const std::vector<std::string>& params = {}) {
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const std::string& p : params) values.push_back(p.c_str());
        // Without parameters a text may hold several statements (the schema).
        Result r(params.empty() ? PQexec(c_, sql.c_str())
                                : PQexecParams(c_, sql.c_str(), static_cast<int>(values.size()),
                                               nullptr, values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = PQresultStatus(r.get());
        if (status == PGRES_TUPLES_OK) {
            const char* first = PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
            return *first ? std::stoll(first) : 0;
        }
        if (status != PGRES_COMMAND_OK)
            throw std::runtime_error("PostgreSQL: " + kcli::one_line(PQerrorMessage(c_)));
        const char* changed = PQcmdTuples(r.get());
        return *changed ? std::stoll(changed) : 0;
    }

    void prepare(const char* name, const char* sql) {
        Result r(PQprepare(c_, name, sql, 0, nullptr));
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            throw std::runtime_error("PostgreSQL: " + kcli::one_line(PQerrorMessage(c_)));
    }

    // Runs a prepared statement; returns the rows it changed.
    std::int64_t run(const char* name, const std::vector<std::string>& params) {
        std::vector<const char*> values;
        for (const std::string& p : params) values.push_back(p.c_str());
        Result r(PQexecPrepared(c_, name, static_cast<int>(values.size()), values.data(), nullptr,
                                nullptr, 0));
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            throw std::runtime_error("PostgreSQL: " + kcli::one_line(PQerrorMessage(c_)));
        const char* changed = PQcmdTuples(r.get());
        return *changed ? std::stoll(changed) : 0;
    }

    // Runs `work` inside a transaction; a failure rolls the whole batch back.
    template <typename Work>
    auto transaction(Work work) {
        exec("BEGIN");
        try {
            auto result = work();
            exec("COMMIT");
            return result;
        } catch (...) {
            PQclear(PQexec(c_, "ROLLBACK"));
            throw;
        }
    }

private:
    PGconn* c_;
};

// A PostgreSQL array literal: every element quoted, so texts, numbers and inner array literals
// all travel as one parameter.
std::string array_of(const std::vector<std::string>& items) {
    std::string text = "{";
    for (const std::string& item : items) {
        text += text.size() > 1 ? ",\"" : "\"";
        for (const char c : item) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    return text + "}";
}

// Batches go in as one array per column, unnested by statements prepared once: the server parses
// and plans each statement once, not once per batch.
constexpr const char* INSERT_DATALOG =
    "INSERT INTO datalog_records(serial, file_id, recorded_at, seq, trigger, layout_id, vals) "
    "SELECT $1::bigint, $2::integer, t, q, tr, $3::bigint, v::double precision[] "
    "FROM unnest($4::timestamptz[], $5::integer[], $6::text[], $7::text[]) AS u(t, q, tr, v) "
    "ON CONFLICT DO NOTHING";
constexpr const char* INSERT_EVENTS =
    "INSERT INTO event_records(serial, recorded_at, seq, event_no, cause, point, state, effect, "
    "target, source_id, "
    "effect_id, value_triggered) "
    "SELECT $1::bigint, t, q, n, c, p, st, ef, tg, si, ei, vt "
    "FROM unnest($2::timestamptz[], $3::integer[], $4::integer[], $5::text[], $6::text[], "
    "$7::text[], $8::text[], "
    "$9::text[], $10::integer[], $11::integer[], $12::bigint[]) AS u(t, q, n, c, p, st, ef, tg, "
    "si, ei, vt) "
    "ON CONFLICT DO NOTHING";
constexpr const char* INSERT_READINGS =
    "INSERT INTO live_readings(serial, taken_at, pid, name, unit, value) "
    "SELECT $1::bigint, $2::timestamptz, i, n, u, v "
    "FROM unnest($3::integer[], $4::text[], $5::text[], $6::double precision[]) AS r(i, n, u, v) "
    "ON CONFLICT DO NOTHING";

class PostgresStore final : public Store {
public:
    explicit PostgresStore(const std::string& uri) : writer_(uri), locks_(uri) {
        writer_.transaction([&] {
            writer_.exec("SELECT pg_advisory_xact_lock(" + std::to_string(SCHEMA_LOCK) + ")");
            if (writer_.exec("SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' "
                             "AND schemaname = current_schema()") == 0) {
                writer_.exec(SCHEMA);
            } else if (const std::int64_t found =
                           writer_.exec("SELECT max(version) FROM schema_version");
                       found > SCHEMA_VERSION) {
                throw std::runtime_error("PostgreSQL: schema version " + std::to_string(found) +
                                         " is newer than this kolvane knows (" +
                                         std::to_string(SCHEMA_VERSION) + ")");
            }
            return 0;
        });
        writer_.prepare("datalog", INSERT_DATALOG);
        writer_.prepare("events", INSERT_EVENTS);
        writer_.prepare("readings", INSERT_READINGS);
    }

    void save_meter(const MeterRow& m) override {
        writer_.transaction([&] {
            writer_.exec(
                "INSERT INTO meters VALUES($1, $2, $3, $4, $5, $6, now(), $7::jsonb) "
                "ON CONFLICT(serial) DO UPDATE SET model = excluded.model, model_name = "
                "excluded.model_name, "
                "firmware = excluded.firmware, host = excluded.host, port = excluded.port, "
                "last_seen = excluded.last_seen, info = excluded.info",
                {std::to_string(m.serial), m.model, m.model_name, m.firmware, m.host,
                 std::to_string(m.port), m.info});
            for (const MeterRow::Log& log : m.logs) {
                writer_.exec(
                    "INSERT INTO log_directory VALUES($1, $2, $3, $4, NULLIF($5, '')::jsonb, "
                    "now()) "
                    "ON CONFLICT(serial, file_id) DO UPDATE SET type = excluded.type, "
                    "records = excluded.records, columns = excluded.columns, seen_at = "
                    "excluded.seen_at",
                    {std::to_string(m.serial), std::to_string(log.file_id), log.type,
                     std::to_string(log.records),
                     log.type == "datalog" ? columns_json(log.columns) : ""});
            }
            return 0;
        });
    }

    std::int64_t save_datalog(const DatalogBatch& b) override {
        if (b.rows.empty()) return 0;
        return writer_.transaction([&] {
            const std::vector<std::string> key{std::to_string(b.serial), std::to_string(b.file_id),
                                               columns_json(b.columns)};
            writer_.exec(
                "INSERT INTO datalog_layouts(serial, file_id, columns) VALUES($1, $2, $3::jsonb) "
                "ON CONFLICT DO NOTHING",
                key);
            const std::string layout =
                std::to_string(writer_.exec("SELECT layout_id FROM datalog_layouts WHERE serial = "
                                            "$1 AND file_id = $2 AND columns = $3::jsonb",
                                            key));
            std::vector<std::string> times, seqs, triggers, values;
            for (const DatalogRow& r : b.rows) {
                times.push_back(r.recorded_at);
                seqs.push_back(std::to_string(r.seq));
                triggers.push_back(r.trigger);
                values.push_back(array_literal(r.values));
            }
            return writer_.run("datalog", {key[0], key[1], layout, array_of(times), array_of(seqs),
                                           array_of(triggers), array_of(values)});
        });
    }

    std::int64_t save_events(const EventBatch& b) override {
        if (b.rows.empty()) return 0;
        std::vector<std::vector<std::string>> columns(11);
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
                                       std::to_string(e.value_triggered)};
            for (std::size_t c = 0; c < columns.size(); ++c) columns[c].push_back(row[c]);
        }
        std::vector<std::string> params{std::to_string(b.serial)};
        for (const auto& column : columns) params.push_back(array_of(column));
        return writer_.transaction([&] { return writer_.run("events", params); });
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
        return writer_.transaction([&] {
            return writer_.run("readings", {std::to_string(b.serial), b.taken_at, array_of(pids),
                                            array_of(names), array_of(units), array_of(values)});
        });
    }

    bool claim(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        return locks_.exec("SELECT pg_try_advisory_lock($1)::int",
                           {std::to_string(METER_LOCK_BASE | serial)}) == 1;
    }

    void release(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        try {
            locks_.exec("SELECT pg_advisory_unlock($1)::int",
                        {std::to_string(METER_LOCK_BASE | serial)});
        } catch (const std::runtime_error&) {
            // The lock connection is gone, and with it every lock it held.
        }
    }

private:
    Connection writer_;
    std::mutex locks_mutex_;
    Connection locks_;  // holds the meters' advisory locks for as long as they are read
};

}  // namespace

std::unique_ptr<Store> open_postgres_store(const std::string& uri) {
    return std::make_unique<PostgresStore>(uri);
}

}  // namespace kcollect
