// SPDX-License-Identifier: MIT
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <cstdio>

#include "support/postgres_server.hpp"

#include <atomic>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace collect_test {

SiteMeter::SiteMeter(ksim::Model model, std::uint32_t serial, int records, int events,
                     std::int64_t now)
    : meter_(ksim::default_meter(model, records, now, events)) {
    meter_.identity->serial = serial;
    sim_ = std::make_unique<ksim::Simulator>(meter_);
    sim_->set_journal_enabled(false);
    sim_->start();
}

std::string SiteMeter::address() const { return "127.0.0.1:" + std::to_string(sim_->port()); }

int SiteMeter::records_held() const {
    int total = 0;
    for (const auto& [file_id, log] : meter_.logs) total += static_cast<int>(log.records.size());
    return total;
}

SiteGateway::SiteGateway(ksim::Model model, std::vector<Unit> units, int records, int events)
    : model_(model), units_(std::move(units)), sim_(std::make_unique<ksim::Simulator>(model)) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    for (const Unit& unit : units_) {
        ksim::Meter meter = ksim::default_meter(model, records, now, events);
        meter.identity->serial = unit.serial;
        sim_->add_unit(static_cast<std::uint8_t>(unit.unit), meter);
    }
    sim_->start();
}

std::string SiteGateway::address() const { return "127.0.0.1:" + std::to_string(sim_->port()); }

std::string SiteGateway::hosts_lines(const std::string& fields) const {
    std::string text;
    for (const Unit& unit : units_)
        text += address() + " " + ksim::model_name(model_) + " unit=" + std::to_string(unit.unit) +
                (fields.empty() ? "" : " " + fields) + "\n";
    return text;
}

ksim::Meter meter_after_outage(std::uint32_t serial, std::int64_t now) {
    ksim::Meter meter = ksim::default_meter(ksim::Model::em133, 200, now, 20);
    meter.identity->serial = serial;
    const std::int64_t down = ksim::newest_record_time(now) - 30 * 900 - 60;
    ksim::add_power_outage(meter, down, down + 5400);
    return meter;
}

std::string hosts_file(const std::string& text) {
    const std::string path = cli_test::fresh_dir("hosts") + "/site.txt";
    std::ofstream(path) << text;
    return path;
}

Outcome collect(const std::vector<std::string>& args) {
    std::vector<std::string> all{"collect"};
    all.insert(all.end(), args.begin(), args.end());
    bool has_model = false, has_zone = false;
    for (const std::string& a : args) {
        has_model = has_model || a == "-m";
        has_zone = has_zone || a == "--tz";
    }
    if (!has_model) all.insert(all.end(), {"-m", "em133"});
    // The simulated meters' clocks run on UTC, whatever the zone of the machine running the tests.
    if (!has_zone) all.insert(all.end(), {"--tz", "UTC"});
    return cli_test::run_tool(all);
}

std::vector<nlohmann::json> summaries(const std::string& out) {
    std::vector<nlohmann::json> lines;
    for (const std::string& line : cli_test::lines_of(out))
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

std::int64_t new_records(const std::vector<nlohmann::json>& lines) {
    std::int64_t total = 0;
    for (const nlohmann::json& line : lines) {
        for (const nlohmann::json& log : line.value("datalog", nlohmann::json::array()))
            total += log.at("new").get<int>();
        if (line.contains("eventlog")) total += line["eventlog"].at("new").get<int>();
    }
    return total;
}

std::int64_t Database::number(const std::string& sql) {
    const auto result = rows(sql);
    if (result.empty() || result[0].empty()) throw std::runtime_error("no value from " + sql);
    return std::stoll(result[0][0]);
}

namespace {

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(db_);  // a failed open still allocates the handle
            throw std::runtime_error("cannot open " + path);
        }
        sqlite3_busy_timeout(db_, 10000);
    }
    ~SqliteDatabase() override { sqlite3_close(db_); }

    std::vector<std::vector<std::string>> rows(const std::string& sql) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_));
        std::vector<std::vector<std::string>> result;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto* text = sqlite3_column_text(stmt, i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            result.push_back(std::move(row));
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db_));
        return result;
    }

private:
    sqlite3* db_ = nullptr;
};

class PostgresDatabase final : public Database {
public:
    explicit PostgresDatabase(const std::string& uri) : conn_(PQconnectdb(uri.c_str())) {
        if (PQstatus(conn_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn_));
    }
    ~PostgresDatabase() override { PQfinish(conn_); }

    std::vector<std::vector<std::string>> rows(const std::string& sql) override {
        PGresult* r = PQexec(conn_, sql.c_str());
        if (PQresultStatus(r) != PGRES_TUPLES_OK) {
            const std::string message = PQerrorMessage(conn_);
            PQclear(r);
            throw std::runtime_error("PostgreSQL: " + message);
        }
        std::vector<std::vector<std::string>> result;
        for (int i = 0; i < PQntuples(r); ++i) {
            std::vector<std::string> row;
            for (int j = 0; j < PQnfields(r); ++j) row.emplace_back(PQgetvalue(r, i, j));
            result.push_back(std::move(row));
        }
        PQclear(r);
        return result;
    }

private:
    PGconn* conn_;
};

}  // namespace

std::unique_ptr<Database> open_sqlite(const std::string& path) {
    return std::make_unique<SqliteDatabase>(path);
}
std::unique_ptr<Database> open_postgres(const std::string& uri) {
    return std::make_unique<PostgresDatabase>(uri);
}

std::string fresh_postgres_database() {
    static std::unique_ptr<ktest::PostgresServer> server;
    static std::string failure;
    static std::once_flag once;
    static std::atomic<int> next{0};
    std::call_once(once, [] {
        try {
            server = std::make_unique<ktest::PostgresServer>();
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!server) throw std::runtime_error(failure);
    return server->create_database("site" + std::to_string(++next));
}

std::string fresh_sqlite_path() {
    static std::atomic<int> next{0};
    return cli_test::fresh_dir("site" + std::to_string(++next)) + "/site.db";
}

std::int64_t epoch_of(const std::string& utc) {
    std::tm tm{};
    std::sscanf(utc.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                &tm.tm_min, &tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return timegm(&tm);
}

}  // namespace collect_test
