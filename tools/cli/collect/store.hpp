// SPDX-License-Identifier: MIT
// Where collected rows go: one interface, one backend per database. Every save is idempotent
// (the database's own uniqueness drops what is already stored) and commits its whole batch or
// nothing, and returns the number of rows that were new.
#pragma once

#include "rows.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kcollect {

inline constexpr int SCHEMA_VERSION = 1;

class Store {
public:
    virtual ~Store() = default;

    // Called by the one writing thread only.
    virtual void save_meter(const MeterRow& meter) = 0;
    virtual std::int64_t save_datalog(const DatalogBatch& batch) = 0;
    virtual std::int64_t save_events(const EventBatch& batch) = 0;
    virtual std::int64_t save_readings(const ReadingBatch& batch) = 0;

    // Claims a meter for this collector until release() (which never throws); false when another
    // collector sharing the database is reading it. May be called from any thread.
    virtual bool claim(std::int64_t serial) = 0;
    virtual void release(std::int64_t serial) = 0;
};

// Opens (and on first use creates) the store named by `target`: a "postgresql://" or
// "postgres://" URI, "sqlite:PATH", or a file path for SQLite. Throws std::runtime_error with a
// one-line message.
std::unique_ptr<Store> open_store(const std::string& target);

// A data log's column layout as both stores keep it: a JSON array of [name, unit] pairs.
std::string columns_json(const std::vector<Column>& columns);

std::unique_ptr<Store> open_sqlite_store(const std::string& path);
std::unique_ptr<Store> open_postgres_store(const std::string& uri);

}  // namespace kcollect
