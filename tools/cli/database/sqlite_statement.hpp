// SPDX-License-Identifier: MIT
// A prepared SQLite statement that binds, steps and resets with one-line failures.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kdb {

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
    }
    Statement(sqlite3* db, const std::string& sql) : Statement(db, sql.c_str()) {}
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
    double column_double(int i) const { return sqlite3_column_double(stmt_, i); }
    std::string column_text(int i) const {
        const auto* text = sqlite3_column_text(stmt_, i);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
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

}  // namespace kdb
