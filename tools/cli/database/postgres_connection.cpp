// SPDX-License-Identifier: MIT
#include "database/postgres_connection.hpp"

#include "database/database.hpp"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace kdb {
namespace {

// Frees a result on every path.
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

std::vector<const char*> pointers(const std::vector<std::string>& params) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const std::string& p : params) values.push_back(p.c_str());
    return values;
}

std::int64_t changed_rows(const PGresult* r) {
    const char* changed = PQcmdTuples(const_cast<PGresult*>(r));
    return *changed ? std::stoll(changed) : 0;
}

// The server's notices and warnings, and the reason it sends before it ends an idle session, are
// not the user's business: libpq would print them as they are on standard error. Failures reach
// the user through the calls that fail.
extern "C" void ignore_notice(void*, const char*) {}

}  // namespace

std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r') c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

Connection::Connection(const std::string& uri) : c_(PQconnectdb(uri.c_str())) {
    if (c_ == nullptr || PQstatus(c_) != CONNECTION_OK) {
        const std::string reason = c_ ? one_line(PQerrorMessage(c_)) : "out of memory";
        PQfinish(c_);
        throw std::runtime_error("Cannot connect to PostgreSQL: " + reason);
    }
    PQsetNoticeProcessor(c_, ignore_notice, nullptr);
}

Connection::~Connection() { PQfinish(c_); }

void Connection::fail() const {
    throw std::runtime_error("PostgreSQL: " + one_line(PQerrorMessage(c_)));
}

std::int64_t Connection::exec(const std::string& sql, const std::vector<std::string>& params) {
    const std::vector<const char*> values = pointers(params);
    Result r(params.empty() ? PQexec(c_, sql.c_str())
                            : PQexecParams(c_, sql.c_str(), static_cast<int>(values.size()),
                                           nullptr, values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_TUPLES_OK) {
        const char* first = PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
        return *first ? std::stoll(first) : 0;
    }
    if (status != PGRES_COMMAND_OK) {
        const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
        if (state != nullptr && std::string(state) == "55P03")
            throw LockNotAvailable("PostgreSQL: " + one_line(PQresultErrorMessage(r.get())));
        fail();
    }
    return changed_rows(r.get());
}

void Connection::set(const std::string& sql) {
    exec(sql);
    settings_.push_back(sql);
}

void Connection::prepare(const char* name, const char* sql) {
    prepare_now(name, sql);
    prepared_.emplace_back(name, sql);
}

void Connection::prepare_now(const std::string& name, const std::string& sql) {
    Result r(PQprepare(c_, name.c_str(), sql.c_str(), 0, nullptr));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail();
}

bool Connection::lost() {
    // A session the server ends sends its reason, then closes: the two may take two reads, and
    // neither waits when nothing has arrived.
    for (int read = 0; read < 2 && PQstatus(c_) == CONNECTION_OK; ++read) PQconsumeInput(c_);
    return PQstatus(c_) == CONNECTION_BAD;
}

void Connection::reconnect() {
    PQreset(c_);  // the same parameters; the notice processor stays
    if (PQstatus(c_) != CONNECTION_OK)
        throw std::runtime_error("PostgreSQL: connection lost, cannot reconnect: " +
                                 one_line(PQerrorMessage(c_)));
    for (const std::string& sql : settings_) exec(sql);
    for (const auto& [name, sql] : prepared_) prepare_now(name, sql);
}

std::int64_t Connection::run(const char* name, const std::vector<std::string>& params) {
    const std::vector<const char*> values = pointers(params);
    Result r(PQexecPrepared(c_, name, static_cast<int>(values.size()), values.data(), nullptr,
                            nullptr, 0));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail();
    return changed_rows(r.get());
}

std::int64_t Connection::copy_in(const std::string& copy, const std::string& data) {
    {
        Result started(PQexec(c_, copy.c_str()));
        if (PQresultStatus(started.get()) != PGRES_COPY_IN) fail();
    }
    if (PQputCopyData(c_, data.data(), static_cast<int>(data.size())) != 1 ||
        PQputCopyEnd(c_, nullptr) != 1)
        fail();
    Result ended(PQgetResult(c_));
    while (PGresult* more = PQgetResult(c_)) PQclear(more);
    if (PQresultStatus(ended.get()) == PGRES_COMMAND_OK) return changed_rows(ended.get());
    const char* state = PQresultErrorField(ended.get(), PG_DIAG_SQLSTATE);
    if (state != nullptr && std::string(state) == "23505")
        throw DuplicateRows("PostgreSQL: " + one_line(PQresultErrorMessage(ended.get())));
    fail();
}

void Connection::each_row(const std::string& sql, const std::vector<std::string>& params,
                          const std::function<void(const Row&)>& take) {
    const std::vector<const char*> values = pointers(params);
    if (!PQsendQueryParams(c_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                           nullptr, nullptr, 0) ||
        !PQsetSingleRowMode(c_))
        fail();
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
            error = "PostgreSQL: " + one_line(PQresultErrorMessage(r));
        }
        PQclear(r);
    }
    if (!error.empty()) throw std::runtime_error(error);
}

}  // namespace kdb
