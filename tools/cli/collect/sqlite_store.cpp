// SPDX-License-Identifier: MIT
// The SQLite backend: one connection in WAL mode, prepared statements, one transaction per batch.
#include "store.hpp"

#include <sqlite3.h>
#include <nlohmann/json.hpp>

#include <stdexcept>

namespace kcollect {
namespace {

// The stable query surface lives in the views; the tables underneath may change with the version.
constexpr const char* SCHEMA = R"sql(
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

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, std::int64_t v) { return check(sqlite3_bind_int64(stmt_, i, v)); }
    Statement& bind(int i, double v) { return check(sqlite3_bind_double(stmt_, i, v)); }
    Statement& bind_null(int i) { return check(sqlite3_bind_null(stmt_, i)); }
    Statement& bind(int i, const std::string& v) {
        return check(
            sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT));
    }
    // Runs the statement to its end; returns true when it produced a row (left readable).
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        sqlite3_reset(stmt_);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_));
        return false;
    }
    std::int64_t column_int(int i) const { return sqlite3_column_int64(stmt_, i); }
    void reset() { sqlite3_reset(stmt_); }
    // Runs a statement that yields no row; returns the rows it changed.
    std::int64_t run() {
        step();
        return sqlite3_changes(db_);
    }

private:
    Statement& check(int rc) {
        if (rc != SQLITE_OK)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_));
        return *this;
    }
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

class SqliteStore final : public Store {
public:
    explicit SqliteStore(const std::string& path) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            throw std::runtime_error("Cannot open SQLite database " + path + ": " + reason);
        }
        try {
            sqlite3_busy_timeout(db_, 30000);
            exec("PRAGMA journal_mode=WAL");
            exec("PRAGMA synchronous=NORMAL");
            create_schema();
            prepare();
        } catch (const std::runtime_error& e) {
            close();
            throw std::runtime_error("Cannot use SQLite database " + path + ": " + e.what());
        }
    }
    ~SqliteStore() override { close(); }

    void save_meter(const MeterRow& m) override {
        Transaction tx(*this);
        meter_->bind(1, m.serial)
            .bind(2, m.model)
            .bind(3, m.model_name)
            .bind(4, m.firmware)
            .bind(5, m.host)
            .bind(6, std::int64_t{m.port})
            .bind(7, m.info)
            .run();
        for (const MeterRow::Log& log : m.logs) {
            directory_->bind(1, m.serial)
                .bind(2, std::int64_t{log.file_id})
                .bind(3, log.type)
                .bind(4, std::int64_t{log.records});
            if (log.type == "datalog")
                directory_->bind(5, columns_json(log.columns));
            else
                directory_->bind_null(5);
            directory_->run();
        }
        tx.commit();
    }

    std::int64_t save_datalog(const DatalogBatch& b) override {
        Transaction tx(*this);
        const std::int64_t layout = layout_id(b.serial, b.file_id, columns_json(b.columns));
        std::int64_t added = 0;
        for (const DatalogRow& r : b.rows) {
            added += datalog_->bind(1, b.serial)
                         .bind(2, std::int64_t{b.file_id})
                         .bind(3, r.recorded_at)
                         .bind(4, std::int64_t{r.seq})
                         .bind(5, r.trigger)
                         .bind(6, layout)
                         .bind(7, nlohmann::json(r.values).dump())
                         .run();
        }
        tx.commit();
        return added;
    }

    std::int64_t save_events(const EventBatch& b) override {
        Transaction tx(*this);
        std::int64_t added = 0;
        for (const EventRow& e : b.rows) {
            added += event_->bind(1, b.serial)
                         .bind(2, e.recorded_at)
                         .bind(3, std::int64_t{e.seq})
                         .bind(4, std::int64_t{e.event_no})
                         .bind(5, e.cause)
                         .bind(6, e.point)
                         .bind(7, e.state)
                         .bind(8, e.effect)
                         .bind(9, e.target)
                         .bind(10, std::int64_t{e.source_id})
                         .bind(11, std::int64_t{e.effect_id})
                         .bind(12, e.value_triggered)
                         .run();
        }
        tx.commit();
        return added;
    }

    std::int64_t save_readings(const ReadingBatch& b) override {
        Transaction tx(*this);
        std::int64_t added = 0;
        for (const ReadingRow& r : b.rows) {
            added += reading_->bind(1, b.serial)
                         .bind(2, b.taken_at)
                         .bind(3, std::int64_t{r.pid})
                         .bind(4, r.name)
                         .bind(5, r.unit)
                         .bind(6, r.value)
                         .run();
        }
        tx.commit();
        return added;
    }

    // One collector per database file is the rule for SQLite; within it the runner keeps each
    // meter to one reader.
    bool claim(std::int64_t) override { return true; }
    void release(std::int64_t) override {}

private:
    // Rolls back unless committed, so a failed batch leaves nothing half-written.
    class Transaction {
    public:
        explicit Transaction(SqliteStore& store) : store_(store) { store_.exec("BEGIN IMMEDIATE"); }
        ~Transaction() {
            if (!done_) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        void commit() {
            store_.exec("COMMIT");
            done_ = true;
        }

    private:
        SqliteStore& store_;
        bool done_ = false;
    };

    void exec(const char* sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : sqlite3_errmsg(db_);
            sqlite3_free(message);
            throw std::runtime_error("SQLite: " + text);
        }
    }

    void create_schema() {
        Transaction tx(*this);
        Statement has_version(db_,
                              "SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'");
        has_version.step();
        const bool exists = has_version.column_int(0) > 0;
        has_version.reset();
        if (!exists) {
            exec(SCHEMA);
        } else {
            Statement version(db_, "SELECT max(version) FROM schema_version");
            version.step();
            const std::int64_t found = version.column_int(0);
            version.reset();
            if (found > SCHEMA_VERSION)
                throw std::runtime_error("schema version " + std::to_string(found) +
                                         " is newer than this kolvane knows (" +
                                         std::to_string(SCHEMA_VERSION) + ")");
        }
        tx.commit();
    }

    void prepare() {
        meter_ = std::make_unique<Statement>(
            db_,
            "INSERT INTO meters VALUES(?1, ?2, ?3, ?4, ?5, ?6, strftime('%Y-%m-%dT%H:%M:%fZ', "
            "'now'), ?7) "
            "ON CONFLICT(serial) DO UPDATE SET model = excluded.model, model_name = "
            "excluded.model_name, "
            "firmware = excluded.firmware, host = excluded.host, port = excluded.port, "
            "last_seen = excluded.last_seen, info = excluded.info");
        directory_ =
            std::make_unique<Statement>(db_,
                                        "INSERT OR REPLACE INTO log_directory VALUES(?1, ?2, ?3, "
                                        "?4, ?5, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))");
        layout_insert_ = std::make_unique<Statement>(
            db_,
            "INSERT OR IGNORE INTO datalog_layouts(serial, file_id, columns) VALUES(?1, ?2, ?3)");
        layout_select_ =
            std::make_unique<Statement>(db_,
                                        "SELECT layout_id FROM datalog_layouts WHERE serial = ?1 "
                                        "AND file_id = ?2 AND columns = ?3");
        datalog_ = std::make_unique<Statement>(
            db_, "INSERT OR IGNORE INTO datalog_records VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        event_ = std::make_unique<Statement>(db_,
                                             "INSERT OR IGNORE INTO event_records VALUES(?1, ?2, "
                                             "?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        reading_ = std::make_unique<Statement>(
            db_, "INSERT OR IGNORE INTO live_readings VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    }

    // Once per batch: cheap beside the batch's rows, and never stale after a rolled-back batch.
    std::int64_t layout_id(std::int64_t serial, int file_id, const std::string& columns) {
        layout_insert_->bind(1, serial).bind(2, std::int64_t{file_id}).bind(3, columns).run();
        layout_select_->bind(1, serial).bind(2, std::int64_t{file_id}).bind(3, columns);
        if (!layout_select_->step()) throw std::runtime_error("SQLite: data log layout not stored");
        const std::int64_t id = layout_select_->column_int(0);
        layout_select_->reset();
        return id;
    }

    void close() {
        meter_.reset(), directory_.reset(), layout_insert_.reset(), layout_select_.reset();
        datalog_.reset(), event_.reset(), reading_.reset();
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
    }

    sqlite3* db_ = nullptr;
    std::unique_ptr<Statement> meter_, directory_, layout_insert_, layout_select_, datalog_, event_,
        reading_;
};

}  // namespace

std::unique_ptr<Store> open_sqlite_store(const std::string& path) {
    return std::make_unique<SqliteStore>(path);
}

}  // namespace kcollect
