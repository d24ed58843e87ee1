// The PostgreSQL backend through libpq: multi-row inserts with ON CONFLICT DO NOTHING, one
// transaction per batch, and session advisory locks keyed by serial so that collectors sharing
// the database never read one meter at once.
#include "store.hpp"

#include <nlohmann/json.hpp>
#include <libpq-fe.h>

#include <mutex>
#include <stdexcept>
#include <vector>

namespace kcollect {
namespace {

// Advisory lock keys: "kolv" in the upper half, the serial in the lower; "kolw" guards the schema.
constexpr long long kMeterLockBase = 0x6B6F6C76LL << 32;
constexpr long long kSchemaLock = 0x6B6F6C77LL << 32;

constexpr const char* kSchema = R"sql(
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

// libpq's messages span lines; the tool prints one.
std::string one_line(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r') c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string columns_json(const std::vector<Column>& columns) {
    nlohmann::json list = nlohmann::json::array();
    for (const Column& c : columns) list.push_back({c.name, c.unit});
    return list.dump();
}

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
    explicit Connection(const std::string& uri) : c_(PQconnectdb(uri.c_str())) {
        if (!c_ || PQstatus(c_) != CONNECTION_OK) {
            const std::string reason = c_ ? one_line(PQerrorMessage(c_)) : "out of memory";
            PQfinish(c_);
            throw std::runtime_error("Cannot connect to PostgreSQL: " + reason);
        }
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
                                : PQexecParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                               values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = PQresultStatus(r.get());
        if (status == PGRES_TUPLES_OK) {
            const char* first = PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
            return *first ? std::stoll(first) : 0;
        }
        if (status != PGRES_COMMAND_OK) throw std::runtime_error("PostgreSQL: " + one_line(PQerrorMessage(c_)));
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

// "VALUES ($1,$2::t,...),(...)": `types` has one cast per column ("" for none).
std::string values_clause(std::size_t rows, const std::vector<const char*>& types) {
    std::string text = " VALUES ";
    std::size_t n = 1;
    for (std::size_t r = 0; r < rows; ++r) {
        text += r ? ",(" : "(";
        for (std::size_t c = 0; c < types.size(); ++c, ++n) {
            text += (c ? ",$" : "$") + std::to_string(n);
            if (*types[c]) text += std::string("::") + types[c];
        }
        text += ')';
    }
    return text;
}

class PostgresStore final : public Store {
public:
    explicit PostgresStore(const std::string& uri) : writer_(uri), locks_(uri) {
        writer_.transaction([&] {
            writer_.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
            if (writer_.exec("SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' "
                             "AND schemaname = current_schema()") == 0) {
                writer_.exec(kSchema);
            } else if (const std::int64_t found = writer_.exec("SELECT max(version) FROM schema_version");
                       found > kSchemaVersion) {
                throw std::runtime_error("PostgreSQL: schema version " + std::to_string(found) +
                                         " is newer than this kolvane knows (" + std::to_string(kSchemaVersion) + ")");
            }
            return 0;
        });
    }

    void save_meter(const MeterRow& m) override {
        writer_.transaction([&] {
            writer_.exec("INSERT INTO meters VALUES($1, $2, $3, $4, $5, $6, now(), $7::jsonb) "
                         "ON CONFLICT(serial) DO UPDATE SET model = excluded.model, model_name = excluded.model_name, "
                         "firmware = excluded.firmware, host = excluded.host, port = excluded.port, "
                         "last_seen = excluded.last_seen, info = excluded.info",
                         {std::to_string(m.serial), m.model, m.model_name, m.firmware, m.host,
                          std::to_string(m.port), m.info});
            for (const MeterRow::Log& log : m.logs) {
                writer_.exec("INSERT INTO log_directory VALUES($1, $2, $3, $4, NULLIF($5, '')::jsonb, now()) "
                             "ON CONFLICT(serial, file_id) DO UPDATE SET type = excluded.type, "
                             "records = excluded.records, columns = excluded.columns, seen_at = excluded.seen_at",
                             {std::to_string(m.serial), std::to_string(log.file_id), log.type,
                              std::to_string(log.records), log.type == "datalog" ? columns_json(log.columns) : ""});
            }
            return 0;
        });
    }

    std::int64_t save_datalog(const DatalogBatch& b) override {
        if (b.rows.empty()) return 0;
        return writer_.transaction([&] {
            const std::vector<std::string> key{std::to_string(b.serial), std::to_string(b.file_id),
                                               columns_json(b.columns)};
            writer_.exec("INSERT INTO datalog_layouts(serial, file_id, columns) VALUES($1, $2, $3::jsonb) "
                         "ON CONFLICT DO NOTHING", key);
            const std::string layout = std::to_string(writer_.exec(
                "SELECT layout_id FROM datalog_layouts WHERE serial = $1 AND file_id = $2 AND columns = $3::jsonb", key));
            std::vector<std::string> params;
            for (const DatalogRow& r : b.rows) {
                params.insert(params.end(), {key[0], key[1], r.recorded_at, std::to_string(r.seq), r.trigger, layout,
                                             array_literal(r.values)});
            }
            return writer_.exec("INSERT INTO datalog_records" +
                                    values_clause(b.rows.size(), {"bigint", "integer", "timestamptz", "integer", "",
                                                                  "bigint", "double precision[]"}) +
                                    " ON CONFLICT DO NOTHING",
                                params);
        });
    }

    std::int64_t save_events(const EventBatch& b) override {
        if (b.rows.empty()) return 0;
        std::vector<std::string> params;
        for (const EventRow& e : b.rows) {
            params.insert(params.end(), {std::to_string(b.serial), e.recorded_at, std::to_string(e.seq),
                                         std::to_string(e.event_no), e.cause, e.point, e.state, e.effect, e.target,
                                         std::to_string(e.source_id), std::to_string(e.effect_id),
                                         std::to_string(e.value_triggered)});
        }
        return writer_.transaction([&] {
            return writer_.exec("INSERT INTO event_records" +
                                    values_clause(b.rows.size(), {"bigint", "timestamptz", "integer", "integer", "", "",
                                                                  "", "", "", "integer", "integer", "bigint"}) +
                                    " ON CONFLICT DO NOTHING",
                                params);
        });
    }

    std::int64_t save_readings(const ReadingBatch& b) override {
        if (b.rows.empty()) return 0;
        std::vector<std::string> params;
        for (const ReadingRow& r : b.rows) {
            params.insert(params.end(), {std::to_string(b.serial), b.taken_at, std::to_string(r.pid), r.name, r.unit,
                                         nlohmann::json(r.value).dump()});
        }
        return writer_.transaction([&] {
            return writer_.exec("INSERT INTO live_readings" +
                                    values_clause(b.rows.size(), {"bigint", "timestamptz", "integer", "", "",
                                                                  "double precision"}) +
                                    " ON CONFLICT DO NOTHING",
                                params);
        });
    }

    bool claim(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        return locks_.exec("SELECT pg_try_advisory_lock($1)::int", {std::to_string(kMeterLockBase | serial)}) == 1;
    }

    void release(std::int64_t serial) override {
        std::lock_guard lock(locks_mutex_);
        try {
            locks_.exec("SELECT pg_advisory_unlock($1)::int", {std::to_string(kMeterLockBase | serial)});
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

std::unique_ptr<Store> open_postgres_store(const std::string& uri) { return std::make_unique<PostgresStore>(uri); }

}  // namespace kcollect
