// SPDX-License-Identifier: MIT
// A site for the collector's tests: simulated meters served in the test process, the tool run
// against them, and the two databases read back with plain SQL.
#pragma once

#include "simulator.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace collect_test {

using cli_test::Outcome;

// A default meter of `model` with its own serial, `records` records in data logs 1-3 and
// `events` events, the logs ending at `now`, on a loopback port.
class SiteMeter {
public:
    SiteMeter(ksim::Model model, std::uint32_t serial, int records, int events = 40,
              std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)));
    ksim::Simulator& sim() { return *sim_; }
    const ksim::Meter& content() const { return meter_; }
    std::string address() const;  // "127.0.0.1:PORT"
    std::uint32_t serial() const { return meter_.identity->serial; }
    // Records the meter holds over all its logs, data logs and event log.
    int records_held() const;

private:
    ksim::Meter meter_;
    std::unique_ptr<ksim::Simulator> sim_;
};

// A simulated Modbus gateway: one default meter of `model` per unit id, each with its own
// serial, behind one loopback port. The journal is kept.
class SiteGateway {
public:
    struct Unit {
        int unit;
        std::uint32_t serial;
    };
    SiteGateway(ksim::Model model, std::vector<Unit> units, int records, int events = 40);
    ksim::Simulator& sim() { return *sim_; }
    std::string address() const;  // "127.0.0.1:PORT"
    // Lines of a hosts file, one per unit: "127.0.0.1:PORT em133 unit=N" + `fields`.
    std::string hosts_lines(const std::string& fields = "") const;
    const std::vector<Unit>& units() const { return units_; }

private:
    ksim::Model model_;
    std::vector<Unit> units_;
    std::unique_ptr<ksim::Simulator> sim_;
};

// A default em133 with `serial`, 200 records in data logs 1-3 and 20 events ending at `now`, that
// lost power for an hour and a half (6 quarter hours) 30 quarter hours before its newest record.
ksim::Meter meter_after_outage(std::uint32_t serial, std::int64_t now);

// Writes `text` to a fresh hosts file and returns its path.
std::string hosts_file(const std::string& text);

// Runs `kolvane collect` with `args` (and -m em133 and --tz UTC unless they are given).
Outcome collect(const std::vector<std::string>& args);
// The summary lines of a run, parsed.
std::vector<nlohmann::json> summaries(const std::string& out);
// Sum of "new" over the logs of every summary line.
std::int64_t new_records(const std::vector<nlohmann::json>& lines);

// Plain SQL on a database the collector wrote: first column of the first row, or every row.
class Database {
public:
    virtual ~Database() = default;
    virtual std::vector<std::vector<std::string>> rows(const std::string& sql) = 0;
    std::int64_t number(const std::string& sql);
};
std::unique_ptr<Database> open_sqlite(const std::string& path);
std::unique_ptr<Database> open_postgres(const std::string& uri);

// The test program's PostgreSQL server, started on first use; a fresh database on it per call.
// Throws when the server cannot start.
std::string fresh_postgres_database();
// Seconds since 1970 of a UTC text "YYYY-MM-DDTHH:MM:SS..." (the fraction and zone ignored).
std::int64_t epoch_of(const std::string& utc);

// A fresh SQLite file path in a fresh directory.
std::string fresh_sqlite_path();

// A test run once per engine, its parameter "sqlite" or "postgres", on a database of its own.
class EachEngine : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        try {
            target_ = fresh_target();
        } catch (const std::exception& e) {
            FAIL() << e.what();  // a server that cannot start fails the test, it never skips it
        }
    }
    // The database the test starts with: a fresh empty one unless the test says otherwise.
    virtual std::string fresh_target() const {
        return sqlite() ? fresh_sqlite_path() : fresh_postgres_database();
    }
    bool sqlite() const { return GetParam() == "sqlite"; }
    std::unique_ptr<Database> db() const {
        return sqlite() ? open_sqlite(target_) : open_postgres(target_);
    }

    std::string target_;
};

}  // namespace collect_test
