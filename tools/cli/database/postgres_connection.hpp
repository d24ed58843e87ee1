// SPDX-License-Identifier: MIT
// One PostgreSQL connection through libpq: opened with libpq's own URI and service syntax,
// statements run with text parameters, rows streamed one at a time, reopened with its session
// settings and prepared statements after the server ended it, and libpq's many-line messages
// turned into the one line the tool prints.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kdb {

class Row;

// A row the statement would store is stored already (the server's unique_violation).
class DuplicateRows : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A lock the statement needed was not granted within the session's lock_timeout (the server's
// lock_not_available).
class LockNotAvailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// libpq's message on one line: line breaks and runs of spaces become one space.
std::string one_line(const std::string& text);

class Connection {
public:
    // Throws "Cannot connect to PostgreSQL: <reason>".
    explicit Connection(const std::string& uri);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Runs `sql` with text parameters; returns the rows it changed or the first value it returned.
    // Without parameters a text may hold several statements. Throws LockNotAvailable when a lock
    // was not granted in time.
    std::int64_t exec(const std::string& sql, const std::vector<std::string>& params = {});

    // Runs `sql` now and again after every reconnect: a setting of the session.
    void set(const std::string& sql);
    // Prepares a statement now and again after every reconnect.
    void prepare(const char* name, const char* sql);
    // Runs a prepared statement; returns the rows it changed.
    std::int64_t run(const char* name, const std::vector<std::string>& params);

    // Streams `data`, rows in COPY's text format, through `copy` (a COPY ... FROM STDIN); returns
    // the rows stored. Throws DuplicateRows when one of them is stored already: none is then.
    std::int64_t copy_in(const std::string& copy, const std::string& data);

    // Hands each row of `sql` to `take` as it arrives, so that a long log never sits in memory.
    void each_row(const std::string& sql, const std::vector<std::string>& params,
                  const std::function<void(const Row&)>& take);

    // True when the connection is gone: a call failed on it, or the server ended the session
    // (a restart, an administrator) while it was idle. Never waits for the server.
    bool lost();
    // Opens the connection again with the same parameters, session settings and prepared
    // statements. Throws "PostgreSQL: connection lost, cannot reconnect: <reason>".
    void reconnect();

    // Runs `work` inside a transaction; a failure rolls it all back.
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
    [[noreturn]] void fail() const;
    void prepare_now(const std::string& name, const std::string& sql);

    PGconn* c_;
    std::vector<std::string> settings_;
    std::vector<std::pair<std::string, std::string>> prepared_;  // name and text
};

}  // namespace kdb
