// SPDX-License-Identifier: MIT
// Reading a collector's SQLite file, read-only: a report never changes the database.
#include "collected.hpp"

#include "../collect/store.hpp"

#include <sqlite3.h>

#include <cmath>
#include <stdexcept>

namespace kreport {
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

class SqliteCollected final : public CollectedReader {
public:
    explicit SqliteCollected(const std::string& path) : path_(path) {
        const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
        if (rc != SQLITE_OK) {
            const std::string reason = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            sqlite3_close(db_);
            throw std::runtime_error("Cannot open SQLite database " + path + ": " + reason);
        }
        sqlite3_busy_timeout(db_, 30000);  // the collector may be writing a batch
        try {
            check_schema();
        } catch (...) {
            sqlite3_close(db_);
            throw;
        }
    }
    ~SqliteCollected() override { sqlite3_close(db_); }
    SqliteCollected(const SqliteCollected&) = delete;
    SqliteCollected& operator=(const SqliteCollected&) = delete;

protected:
    std::string time_text(const std::string& column) const override { return column; }
    std::string time_parameter(int n) const override {
        std::string parameter =
            "?";  // appended: g++ 12 at -O3 warns falsely on "literal" + std::string
        parameter += std::to_string(n);
        return parameter;
    }

    void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                  const std::function<void(const Row&)>& take) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) fail();
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
        if (rc != SQLITE_DONE) fail();
    }

private:
    [[noreturn]] void fail() const {
        throw std::runtime_error("Cannot read SQLite database " + path_ + ": " +
                                 sqlite3_errmsg(db_));
    }

    void check_schema() {
        std::int64_t tables = 0;
        each_row("SELECT count(*) FROM sqlite_master WHERE name = 'schema_version'", {},
                 [&](const Row& r) { tables = r.integer(0); });
        if (tables == 0)
            throw std::runtime_error("SQLite database " + path_ +
                                     " holds nothing collected by kolvane");
        std::int64_t version = 0;
        each_row("SELECT max(version) FROM schema_version", {},
                 [&](const Row& r) { version = r.integer(0); });
        if (version > kcollect::SCHEMA_VERSION)
            throw std::runtime_error("SQLite database " + path_ + ": schema version " +
                                     std::to_string(version) +
                                     " is newer than this kolvane knows (" +
                                     std::to_string(kcollect::SCHEMA_VERSION) + ")");
    }

    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<CollectedReader> open_sqlite_collected(const std::string& path) {
    return std::make_unique<SqliteCollected>(path);
}

}  // namespace kreport
