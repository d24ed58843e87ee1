// SPDX-License-Identifier: MIT
// The --db argument of every command that uses the collected database.
#pragma once

#include <optional>
#include <string>

namespace kdb {

struct Target {
    enum class Engine { SQLITE, POSTGRES };
    Engine engine = Engine::SQLITE;
    std::string where;  // the SQLite file path, or the libpq URI
};

inline constexpr const char* DEFAULT_TARGET = "kolvane.db";
inline constexpr const char* TARGET_HELP =
    "Database: a file path or sqlite:PATH for SQLite, or a postgresql:// URI";

// A "postgresql://" or "postgres://" URI, "sqlite:PATH", or a file path for SQLite. Nothing for
// a text without a file path, which SQLite would take for a private temporary database that
// nobody could query; nor for ":memory:" or a SQLite URI filename ("file:..."), whose database
// in memory would vanish with the process and whose parameters could open the file unlocked.
std::optional<Target> parse_target(const std::string& text);

// The problem of a --db text for a command line check, one line, empty when there is none.
std::string target_problem(const std::string& text);

}  // namespace kdb
