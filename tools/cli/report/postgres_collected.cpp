// SPDX-License-Identifier: MIT
// Reading a collector's PostgreSQL database through libpq, row by row so that a long log never
// sits in memory twice.
#include "collected.hpp"

#include "../collect/store.hpp"
#include "../postgres_connection.hpp"

#include <libpq-fe.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace kreport {
namespace {

class PostgresRow final : public Row {
public:
    explicit PostgresRow(const PGresult* r) : r_(r) {}
    std::string text(int column) const override { return PQgetvalue(r_, 0, column); }
    std::int64_t integer(int column) const override {
        return std::strtoll(PQgetvalue(r_, 0, column), nullptr, 10);
    }
    double real(int column) const override {
        return PQgetisnull(r_, 0, column) ? NAN : std::strtod(PQgetvalue(r_, 0, column), nullptr);
    }

private:
    const PGresult* r_;
};

class PostgresCollected final : public CollectedReader {
public:
    explicit PostgresCollected(const std::string& uri) : c_(kcli::connect_postgres(uri)) {
        try {
            check_schema();
        } catch (...) {
            PQfinish(c_);
            throw;
        }
    }
    ~PostgresCollected() override { PQfinish(c_); }
    PostgresCollected(const PostgresCollected&) = delete;
    PostgresCollected& operator=(const PostgresCollected&) = delete;

protected:
    std::string time_text(const std::string& column) const override {
        return "to_char(" + column + " AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')";
    }
    std::string time_parameter(int n) const override {
        std::string parameter =
            "$";  // appended: g++ 12 at -O3 warns falsely on "literal" + std::string
        parameter += std::to_string(n);
        parameter += "::timestamptz";
        return parameter;
    }

    void each_row(const std::string& sql, const std::vector<std::string>& parameters,
                  const std::function<void(const Row&)>& take) override {
        std::vector<const char*> values;
        for (const std::string& p : parameters) values.push_back(p.c_str());
        if (!PQsendQueryParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0) ||
            !PQsetSingleRowMode(c_))
            throw std::runtime_error("PostgreSQL: " + kcli::one_line(PQerrorMessage(c_)));
        // Every result is consumed, also after a failure or a throwing `take`, so that the
        // connection stays usable.
        std::string error;
        while (PGresult* r = PQgetResult(c_)) {
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_SINGLE_TUPLE && error.empty()) {
                try {
                    take(PostgresRow(r));
                } catch (const std::exception& e) {
                    error = e.what();
                }
            } else if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK && error.empty()) {
                error = "PostgreSQL: " + kcli::one_line(PQresultErrorMessage(r));
            }
            PQclear(r);
        }
        if (!error.empty()) throw std::runtime_error(error);
    }

private:
    void check_schema() {
        std::int64_t tables = 0;
        each_row(
            "SELECT count(*) FROM pg_tables WHERE tablename = 'schema_version' AND schemaname = "
            "current_schema()",
            {}, [&](const Row& r) { tables = r.integer(0); });
        if (tables == 0)
            throw std::runtime_error("PostgreSQL database holds nothing collected by kolvane");
        std::int64_t version = 0;
        each_row("SELECT max(version) FROM schema_version", {},
                 [&](const Row& r) { version = r.integer(0); });
        if (version > kcollect::SCHEMA_VERSION)
            throw std::runtime_error("PostgreSQL: schema version " + std::to_string(version) +
                                     " is newer than this kolvane knows (" +
                                     std::to_string(kcollect::SCHEMA_VERSION) + ")");
    }

    PGconn* c_;
};

}  // namespace

std::unique_ptr<CollectedReader> open_postgres_collected(const std::string& uri) {
    return std::make_unique<PostgresCollected>(uri);
}

}  // namespace kreport
