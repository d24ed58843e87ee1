// SPDX-License-Identifier: MIT
// One PostgreSQL connection through libpq: opened with libpq's own URI and service syntax,
// statements run with text parameters, rows streamed one at a time, and libpq's many-line
// messages turned into the one line the tool prints.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kdb {

class Row;

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
    // Without parameters a text may hold several statements.
    std::int64_t exec(const std::string& sql, const std::vector<std::string>& params = {});

    void prepare(const char* name, const char* sql);
    // Runs a prepared statement; returns the rows it changed.
    std::int64_t run(const char* name, const std::vector<std::string>& params);

    // Hands each row of `sql` to `take` as it arrives, so that a long log never sits in memory.
    void each_row(const std::string& sql, const std::vector<std::string>& params,
                  const std::function<void(const Row&)>& take);

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
    PGconn* c_;
};

}  // namespace kdb
