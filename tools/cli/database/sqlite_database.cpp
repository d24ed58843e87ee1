// SPDX-License-Identifier: MIT
// The collected database in SQLite: one connection in WAL mode; the collector writes through
// prepared statements, one transaction per batch; readers open the file read-only.
#include "common/lock_file.hpp"
#include "database/database.hpp"
#include "database/engines.hpp"
#include "database/retime.hpp"
#include "database/schema.hpp"
#include "database/sqlite_statement.hpp"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

namespace kdb {
namespace {

class SqliteRow final : public Row {
public:
    explicit SqliteRow(sqlite3_stmt* stmt) : stmt_(stmt) {}
    std::string text(int column) const override {
        const auto* text = sqlite3_column_text(stmt_, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    std::int64_t integer(int column) const override { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const override {
        return sqlite3_column_type(stmt_, column) == SQLITE_NULL
                   ? NAN
                   : sqlite3_column_double(stmt_, column);
    }

private:
    sqlite3_stmt* stmt_;
};

// Who may lock in the lock file beside `database` when this run makes it: whoever may write the
// database, and no one else, so that a user who may only read it cannot block its collection
// (a read lock blocks the write lock, so no class gets a read bit it has not a write bit for).
// The owner always may: it can make the database writable at will. A root run gives the file
// to the database's owner and group, as SQLite does with its -wal and -shm files, so that it
// never locks the service out. A database not made yet gets 0660.
kcli::LockFileCreation lock_file_creation(const std::string& database) {
    struct stat info {};
    if (::stat(database.c_str(), &info) != 0) return {0660};
    kcli::LockFileCreation creation{0600u | ((info.st_mode & S_IWGRP) ? 0060u : 0u)};
    if (::geteuid() == 0) {
        creation.owner = info.st_uid;
        creation.group = info.st_gid;
    }
    return creation;
}

class SqliteDatabase final : public Database {
public:
    SqliteDatabase(const std::string& path, Access access) : path_(path) {
        if (access == Access::READ) {
            open_for_reading();
            return;
        }
        open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        try {
            refuse_foreign_file();
            refuse_newer_schema();
            prepare_for_collecting();
        } catch (const std::runtime_error& e) {
            close();
            throw std::runtime_error("Cannot use SQLite database " + path + ": " + e.what());
        }
    }
    ~SqliteDatabase() override { close(); }
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void save_meter(const MeterRow& m) override {
        Transaction tx(*this);
        retime(m);
        meter_->bind(1, m.serial)
            .bind(2, m.model)
            .bind(3, m.model_name)
            .bind(4, m.firmware)
            .bind(5, m.host)
            .bind(6, std::int64_t{m.port})
            .bind(7, m.info)
            .bind(8, std::int64_t{m.unit})
            .bind(9, m.name)
            .bind(10, m.clock_zone)
            .bind(11, m.transport)
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
                         .bind(7, r.values)
                         .bind(8, r.meter_time)
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
                         .bind(13, e.meter_time)
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

    void save_collection(const CollectionRow& c) override {
        Transaction tx(*this);
        Statement insert(db_,
                         "INSERT OR IGNORE INTO collection_passes "
                         "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
        insert.bind(1, c.started_at)
            .bind(2, c.finished_at)
            .bind(3, c.host)
            .bind(4, std::int64_t{c.port})
            .bind(5, std::int64_t{c.unit})
            .bind(6, c.name)
            .bind(14, c.transport)
            .bind(10, c.logs)
            .bind(13, c.warnings);
        c.serial ? insert.bind(7, *c.serial) : insert.bind_null(7);
        insert.bind(8, c.outcome);
        c.error.empty() ? insert.bind_null(9) : insert.bind(9, c.error);
        c.newest_record ? insert.bind(11, *c.newest_record) : insert.bind_null(11);
        c.newest_age_s ? insert.bind(12, *c.newest_age_s) : insert.bind_null(12);
        insert.run();
        tx.commit();
    }

    void save_gap(const GapRow& g) override {
        Transaction tx(*this);
        Statement(db_,
                  "INSERT OR IGNORE INTO log_gaps "
                  "VALUES(?1, ?2, ?3, ?4, ?5, ?6, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))")
            .bind(1, g.serial)
            .bind(2, std::int64_t{g.file_id})
            .bind(3, g.gap_from)
            .bind(4, g.gap_to)
            .bind(5, g.missing)
            .bind(6, g.cause)
            .run();
        tx.commit();
    }

    void save_published_position(std::int64_t serial, int file_id,
                                 const LogPosition& position) override {
        Transaction tx(*this);
        Statement(db_, "INSERT OR REPLACE INTO published_positions VALUES(?1, ?2, ?3, ?4)")
            .bind(1, serial)
            .bind(2, std::int64_t{file_id})
            .bind(3, position.recorded_at)
            .bind(4, std::int64_t{position.seq})
            .run();
        tx.commit();
    }

    void save_day(const DayRow& d) override {
        Transaction tx(*this);
        Statement(db_, "INSERT OR REPLACE INTO log_days VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
            .bind(1, d.serial)
            .bind(2, std::int64_t{d.file_id})
            .bind(3, d.day)
            .bind(4, d.interval_s)
            .bind(5, d.expected)
            .bind(6, d.present)
            .run();
        tx.commit();
    }

    void save_energy(const LogEnergy& e) override {
        Transaction tx(*this);
        for (const CounterEnergy& c : e.counters) {
            const auto forget = [&](const char* table, const char* column,
                                    const std::optional<std::string>& from, const char* op) {
                Statement drop(db_, std::string("DELETE FROM ") + table +
                                        " WHERE serial = ?1 AND file_id = ?2 AND name = ?3 "
                                        "AND unit = ?4 AND " +
                                        column + op + "?5");
                drop.bind(1, e.serial).bind(2, std::int64_t{e.file_id});
                drop.bind(3, c.column.name).bind(4, c.column.unit).bind(5, from.value_or(""));
                drop.run();
            };
            forget("energy_interval_rows", "ended_at", c.intervals_after, " > ");
            forget("energy_day_rows", "day", c.days_from, " >= ");
            forget("energy_month_rows", "month", c.months_from, " >= ");
            Statement interval(db_,
                               "INSERT INTO energy_interval_rows "
                               "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
            for (const EnergyIntervalRow& i : c.intervals) {
                counter_key(interval, e, c)
                    .bind(5, i.ended_at)
                    .bind(6, i.started_at)
                    .bind(7, i.end_meter_time)
                    .bind(8, i.start_meter_time)
                    .bind(10, std::int64_t{i.gap});
                if (i.energy)
                    interval.bind(9, *i.energy);
                else
                    interval.bind_null(9);
                interval.run();
            }
            Statement day(db_,
                          "INSERT INTO energy_day_rows VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
                          "?10, ?11, ?12, ?13, ?14, ?15)");
            for (const EnergyPeriodRow& d : c.days) {
                counter_key(day, e, c).bind(5, d.period);
                period_figures(day, d, 6);
                day.run();
            }
            Statement month(db_,
                            "INSERT INTO energy_month_rows VALUES(?1, ?2, ?3, ?4, ?5, ?17, ?6, ?7, "
                            "?8, ?9, ?16, ?10, ?11, ?12, ?13, ?14, ?15)");
            for (const EnergyPeriodRow& m : c.months) {
                counter_key(month, e, c)
                    .bind(5, m.period)
                    .bind(16, m.days_in)
                    .bind(17, month_index(m.period));
                period_figures(month, m, 6);
                month.run();
            }
        }
        Statement kept(db_, "INSERT OR REPLACE INTO energy_logs VALUES(?1, ?2, ?3)");
        kept.bind(1, e.serial).bind(2, std::int64_t{e.file_id}).bind(3, e.newest_record).run();
        tx.commit();
    }

    std::int64_t records_between(std::int64_t serial, int file_id, const std::string& from,
                                 const std::string& to) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(), RECORDS_BETWEEN);
        query.bind(1, serial).bind(2, std::int64_t{file_id}).bind(3, from).bind(4, to);
        return query.step() ? query.column_int(0) : 0;
    }

    std::int64_t power_events_between(std::int64_t serial, const std::string& from,
                                      const std::string& to) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(), POWER_EVENTS_BETWEEN);
        query.bind(1, serial).bind(2, from).bind(3, to);
        return query.step() ? query.column_int(0) : 0;
    }

    std::optional<std::pair<std::string, std::string>> stored_span(std::int64_t serial,
                                                                   int file_id) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(),
                        "SELECT min(recorded_at), max(recorded_at) FROM datalog_records "
                        "WHERE serial = ?1 AND file_id = ?2");
        query.bind(1, serial).bind(2, std::int64_t{file_id});
        if (!query.step() || query.column_text(0).empty()) return std::nullopt;
        return std::pair{query.column_text(0), query.column_text(1)};
    }

    // Collectors sharing the file keep each meter to one reader through a lock file beside it,
    // one byte per serial; a killed collector's locks go with it.
    bool claim(std::int64_t serial) override {
        std::lock_guard lock(meter_locks_mutex_);
        if (!meter_locks_)
            meter_locks_ = std::make_unique<kcli::LockFile>(path_ + "-kolvane-lock",
                                                            lock_file_creation(path_));
        return meter_locks_->try_lock(static_cast<std::uint64_t>(serial));
    }
    void release(std::int64_t serial) override {
        std::lock_guard lock(meter_locks_mutex_);
        if (meter_locks_) meter_locks_->unlock(static_cast<std::uint64_t>(serial));
    }

    // On a connection of its own: the writing thread may be inside a transaction on the other.
    std::optional<StoredMeter> stored_meter(std::int64_t serial) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(),
                        "SELECT model, host, port, unit, "
                        "(julianday('now') - julianday(last_seen)) * 86400, "
                        "clock_zone IS NOT NULL, clock_zone FROM meters WHERE serial = ?1");
        query.bind(1, serial);
        if (!query.step()) return std::nullopt;
        StoredMeter stored{query.column_text(0),
                           query.column_text(1),
                           static_cast<int>(query.column_int(2)),
                           static_cast<int>(query.column_int(3)),
                           query.column_double(4),
                           {}};
        if (query.column_int(5) != 0) stored.clock_zone = query.column_text(6);
        query.reset();
        return stored;
    }

    std::uint32_t listed_logs(std::int64_t serial) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(), "SELECT file_id FROM log_directory WHERE serial = ?1");
        query.bind(1, serial);
        std::uint32_t mask = 0;
        while (query.step()) mask |= 1u << (query.column_int(0) & 31);
        return mask;
    }

    std::optional<NewestRecord> newest_record(std::int64_t serial, int file_id) override {
        std::lock_guard lock(meter_locks_mutex_);
        Statement query(checks(), std::string("SELECT seq, recorded_at, meter_time") +
                                      (file_id > 0 ? NEWEST_DATALOG_RECORD : NEWEST_EVENT_RECORD));
        query.bind(1, serial);
        if (file_id > 0) query.bind(2, std::int64_t{file_id});
        if (!query.step()) return std::nullopt;
        NewestRecord newest{
            static_cast<int>(query.column_int(0)), query.column_text(1), {}, query.column_text(2)};
        if (query.step()) newest.before = query.column_text(1);
        query.reset();
        return newest;
    }

protected:
    std::string time_text(const std::string& column) const override { return column; }
    std::string time_parameter(int n) const override {
        std::string parameter =
            "?";  // appended: g++ 12 at -O3 warns falsely on "literal" + std::string
        parameter += std::to_string(n);
        return parameter;
    }

    std::string parameter(int n) const override { return time_parameter(n); }

    void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                  const std::function<void(const Row&)>& take) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail_read();
        struct Finalize {
            sqlite3_stmt* s;
            ~Finalize() { sqlite3_finalize(s); }
        } finalize{stmt};
        for (std::size_t i = 0; i < parameters.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i + 1), parameters[i].c_str(), -1,
                              SQLITE_TRANSIENT);
        const SqliteRow row(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) take(row);
        if (rc != SQLITE_DONE) fail_read();
    }

private:
    // Rolls back unless committed, so a failed batch leaves nothing half-written.
    class Transaction {
    public:
        explicit Transaction(SqliteDatabase& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }
        ~Transaction() {
            if (!done_) sqlite3_exec(db_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
        void commit() {
            db_.exec("COMMIT");
            done_ = true;
        }

    private:
        SqliteDatabase& db_;
        bool done_ = false;
    };

    // The connection of the collector's checks, opened on first use. Called with
    // meter_locks_mutex_ held.
    sqlite3* checks() {
        if (!checks_) {
            sqlite3* db = nullptr;
            if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
                const std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
                sqlite3_close(db);
                throw std::runtime_error("Cannot read SQLite database " + path_ + ": " + reason);
            }
            sqlite3_busy_timeout(db, 30000);
            checks_.reset(db);
        }
        return checks_.get();
    }

    [[noreturn]] void fail_read() {
        read_error_ = sqlite3_extended_errcode(db_);
        throw std::runtime_error("Cannot read SQLite database " + path_ + ": " +
                                 sqlite3_errmsg(db_));
    }

    // Opens `name` with `flags`; throws "Cannot open SQLite database PATH: reason".
    void open(const std::string& name, int flags) {
        const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            close();
            throw std::runtime_error("Cannot open SQLite database " + path_ + ": " + reason);
        }
        sqlite3_busy_timeout(db_, 30000);  // another connection may be writing a batch
    }

    // Read-only, and for a reader who may write nothing next to the file either. A plain
    // read-only connection comes first: it takes SQLite's locks and reads what a collector
    // committed to the -wal file but not yet copied into the database file, so it is right
    // whether or not a collector is writing. It fails only where it would have to create the
    // -wal and -shm files, that is when they do not exist and the directory is not writable.
    // Then no collector has the database open (its connection keeps the -wal file while it
    // lives), and SQLite's immutable=1, which reads the file alone without locks, reads what is
    // there. The other order would read a busy database without its -wal: old rows, or pages
    // torn by a checkpoint. With a -wal or -journal file that cannot be read there is no safe
    // read, and the first failure stands.
    void open_for_reading() {
        open(path_, SQLITE_OPEN_READONLY);
        try {
            check_readable();
            return;
        } catch (const std::runtime_error&) {
            const int code = read_error_ & 0xff;
            if ((code != SQLITE_READONLY && code != SQLITE_CANTOPEN) || has_companions()) {
                close();
                throw;
            }
        }
        close();
        open(immutable_uri(path_), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        try {
            check_readable();
        } catch (const std::runtime_error&) {
            close();
            throw;
        }
    }

    // Whether SQLite's -wal or -journal file exists beside the database (beside the file a
    // symbolic link names, where SQLite keeps them).
    bool has_companions() const {
        std::error_code ec;
        std::filesystem::path file = std::filesystem::canonical(path_, ec);
        if (ec) file = path_;
        for (const char* suffix : {"-wal", "-journal"})
            if (std::filesystem::exists(file.string() + suffix, ec) || ec) return true;
        return false;
    }

    // "file:" URI of the database file opened immutable, the path percent-encoded so that no
    // '?' or '#' in it reads as a parameter.
    static std::string immutable_uri(const std::string& path) {
        std::error_code ec;
        std::string absolute = std::filesystem::absolute(path, ec).string();
        if (ec) absolute = path;
        std::string uri = "file://";  // an empty authority: the path starts with '/'
        const char* hex = "0123456789ABCDEF";
        for (const unsigned char c : absolute) {
            if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
                uri += static_cast<char>(c);
            } else {
                uri += '%';
                uri += hex[c >> 4];
                uri += hex[c & 0xf];
            }
        }
        return uri + "?immutable=1";
    }

    // A file that holds tables or views but no schema_version is some other program's database,
    // and collect must not change a byte of it. Checked before anything writes: PRAGMA
    // journal_mode=WAL alone rewrites the file's header.
    void refuse_foreign_file() {
        Statement objects(db_,
                          "SELECT count(*), count(CASE WHEN name = 'schema_version' THEN 1 END) "
                          "FROM sqlite_master");
        objects.step();
        const std::int64_t all = objects.column_int(0), ours = objects.column_int(1);
        objects.reset();
        if (all > 0 && ours == 0)
            throw std::runtime_error(
                "it holds no kolvane database but tables of something else; left untouched");
    }

    // A newer schema is refused before anything writes, for the same reason: the journal mode
    // switch would change the file of a database that this kolvane must leave alone.
    void refuse_newer_schema() { check_schema_version(stored_version().value_or(0), ""); }

    void exec(const std::string& sql) {
        char* message = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : sqlite3_errmsg(db_);
            sqlite3_free(message);
            throw std::runtime_error("SQLite: " + text);
        }
    }

    // The version the file holds; nothing when it holds no collector's schema.
    std::optional<std::int64_t> stored_version() {
        std::int64_t tables = 0, version = 0;
        each_row("SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'", {},
                 [&](const Row& r) { tables = r.integer(0); });
        if (tables == 0) return std::nullopt;
        each_row("SELECT max(version) FROM schema_version", {},
                 [&](const Row& r) { version = r.integer(0); });
        return version;
    }

    void check_readable() {
        const std::optional<std::int64_t> version = stored_version();
        if (!version)
            throw std::runtime_error("SQLite database " + path_ +
                                     " holds nothing collected by kolvane");
        check_schema_version(*version, "SQLite database " + path_ + ": ");
        read_version_ = *version;
    }

    // Runs `step` again while another connection holds the lock it needs: switching to WAL and
    // creating the schema do not wait through the busy handler when two collectors start at once.
    template <typename Step>
    void retry_while_busy(Step step) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (;;) {
            try {
                return step();
            } catch (const std::runtime_error&) {
                const int code = sqlite3_errcode(db_) & 0xFF;
                if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
                    std::chrono::steady_clock::now() > until)
                    throw;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    void prepare_for_collecting() {
        retry_while_busy([&] { exec("PRAGMA journal_mode=WAL"); });
        exec("PRAGMA synchronous=NORMAL");
        retry_while_busy([&] {
            Transaction tx(*this);
            const std::int64_t found = stored_version().value_or(0);
            check_schema_version(found, "");
            upgrade_schema(sqlite_schema_steps(), found,
                           [&](const std::string& sql) { exec(sql); });
            tx.commit();
        });
        meter_ = std::make_unique<Statement>(
            db_,
            "INSERT INTO meters(serial, model, model_name, firmware, host, port, last_seen, info, "
            "unit, name, clock_zone, transport) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), ?7, ?8, ?9, "
            "?10, ?11) "
            "ON CONFLICT(serial) DO UPDATE SET model = excluded.model, "
            "model_name = excluded.model_name, firmware = excluded.firmware, "
            "host = excluded.host, port = excluded.port, last_seen = excluded.last_seen, "
            "info = excluded.info, unit = excluded.unit, name = excluded.name, "
            "clock_zone = excluded.clock_zone, transport = excluded.transport");
        directory_ = std::make_unique<Statement>(
            db_,
            "INSERT OR REPLACE INTO log_directory VALUES(?1, ?2, ?3, ?4, ?5, "
            "strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))");
        layout_insert_ = std::make_unique<Statement>(
            db_,
            "INSERT OR IGNORE INTO datalog_layouts(serial, file_id, columns) VALUES(?1, ?2, ?3)");
        layout_select_ =
            std::make_unique<Statement>(db_,
                                        "SELECT layout_id FROM datalog_layouts "
                                        "WHERE serial = ?1 AND file_id = ?2 AND columns = ?3");
        datalog_ = std::make_unique<Statement>(
            db_,
            "INSERT OR IGNORE INTO datalog_records(serial, file_id, recorded_at, seq, trigger, "
            "layout_id, vals, meter_time) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        event_ = std::make_unique<Statement>(
            db_,
            "INSERT OR IGNORE INTO event_records(serial, recorded_at, seq, event_no, cause, point, "
            "state, effect, target, source_id, effect_id, value_triggered, meter_time) "
            "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)");
        reading_ = std::make_unique<Statement>(
            db_, "INSERT OR IGNORE INTO live_readings VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    }

    static Statement& counter_key(Statement& insert, const LogEnergy& e, const CounterEnergy& c) {
        return insert.bind(1, e.serial)
            .bind(2, std::int64_t{e.file_id})
            .bind(3, c.column.name)
            .bind(4, c.column.unit);
    }

    // A day's or month's figures, bound from parameter `n` on in the tables' column order.
    static void period_figures(Statement& insert, const EnergyPeriodRow& p, int n) {
        insert.bind(n, p.energy)
            .bind(n + 1, p.hole_energy)
            .bind(n + 2, p.glitches)
            .bind(n + 3, p.days)
            .bind(n + 4, std::int64_t{p.partial});
        if (!p.peak) {
            for (int i = n + 5; i <= n + 9; ++i) insert.bind_null(i);
            return;
        }
        insert.bind(n + 5, p.peak->power)
            .bind(n + 6, p.peak->started_at)
            .bind(n + 7, p.peak->ended_at)
            .bind(n + 8, p.peak->start_meter_time)
            .bind(n + 9, p.peak->end_meter_time);
    }

    // A meter's stored records get their true UTC times when its clock zone is not the one they
    // were converted with: once after an upgrade (none was known), again when the zone changes.
    void retime(const MeterRow& m) {
        Statement zone(db_,
                       "SELECT clock_zone IS NOT NULL, clock_zone FROM meters WHERE serial = ?1");
        zone.bind(1, m.serial);
        if (!zone.step()) return;  // a new meter: nothing stored yet
        const bool converted = zone.column_int(0) != 0;
        const std::string stored_zone = zone.column_text(1);
        zone.reset();
        if (converted && stored_zone == m.clock_zone) return;
        for (const char* table : ENERGY_TABLES)
            Statement(db_, std::string("DELETE FROM ") + table + " WHERE serial = ?1")
                .bind(1, m.serial)
                .run();
        const std::string wall = "coalesce(meter_time, substr(recorded_at, 1, 23))";
        retime_table(m,
                     "SELECT file_id, seq, recorded_at, " + wall +
                         " AS wall FROM datalog_records WHERE serial = ?1 "
                         "ORDER BY file_id, wall, seq",
                     "UPDATE datalog_records SET recorded_at = ?1, meter_time = ?2 "
                     "WHERE serial = ?3 AND file_id = ?4 AND recorded_at = ?5 AND seq = ?6");
        retime_table(m,
                     "SELECT 0, seq, recorded_at, " + wall +
                         " AS wall FROM event_records WHERE serial = ?1 ORDER BY wall, seq",
                     "UPDATE event_records SET recorded_at = ?1, meter_time = ?2 "
                     "WHERE serial = ?3 AND ?4 = 0 AND recorded_at = ?5 AND seq = ?6");
    }

    void retime_table(const MeterRow& m, const std::string& select, const std::string& update) {
        std::vector<StoredTime> times;
        Statement query(db_, select);
        query.bind(1, m.serial);
        while (query.step())
            times.push_back({static_cast<int>(query.column_int(0)),
                             static_cast<int>(query.column_int(1)),
                             query.column_text(2),
                             query.column_text(3),
                             {}});
        convert_times(times, m.clock_zone);
        Statement change(db_, update);
        for (const StoredTime& t : times)
            change.bind(1, t.utc)
                .bind(2, t.wall)
                .bind(3, m.serial)
                .bind(4, std::int64_t{t.file_id})
                .bind(5, t.key)
                .bind(6, std::int64_t{t.seq})
                .run();
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
        // The side connection first: the writing one, closing last, moves the -wal file's rows
        // into the database file and removes the -wal and -shm files.
        checks_.reset();
        if (db_) sqlite3_close(db_);
        db_ = nullptr;
    }

    std::string path_;
    sqlite3* db_ = nullptr;
    int read_error_ = SQLITE_OK;    // SQLite's extended code of the last failed read
    std::mutex meter_locks_mutex_;  // guards the two below, used by the readers' threads
    std::unique_ptr<kcli::LockFile> meter_locks_;
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> checks_{nullptr, &sqlite3_close};
    std::unique_ptr<Statement> meter_, directory_, layout_insert_, layout_select_, datalog_, event_,
        reading_;
};

}  // namespace

std::unique_ptr<Database> open_sqlite_database(const std::string& path, Access access) {
    return std::make_unique<SqliteDatabase>(path, access);
}

}  // namespace kdb
