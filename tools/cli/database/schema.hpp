// SPDX-License-Identifier: MIT
// The collected database's schema: its version and its history. Step 0 creates version 1;
// step n upgrades version n to n + 1. A new database runs every step and an older one the steps
// it lacks, so both end with the same tables and views.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace kdb {

inline constexpr int SCHEMA_VERSION = 7;

// The tables of the energy the collector keeps per meter, emptied for a meter whose records'
// times are converted anew.
inline constexpr const char* ENERGY_TABLES[] = {"energy_logs", "energy_interval_rows",
                                                "energy_day_rows", "energy_month_rows"};

// The steps in each engine's SQL, SCHEMA_VERSION of them.
std::span<const char* const> sqlite_schema_steps();
std::span<const char* const> postgres_schema_steps();

// Throws "schema version N is newer than this kolvane knows (M)" for a version newer than
// SCHEMA_VERSION, after `where` ("SQLite database PATH: ", "PostgreSQL: ").
void check_schema_version(std::int64_t found, const std::string& where);

// Brings a database of version `found` (0: none yet) to SCHEMA_VERSION by running the steps it
// lacks through `exec` and recording the new version. The caller holds the transaction.
void upgrade_schema(std::span<const char* const> steps, std::int64_t found,
                    const std::function<void(const std::string&)>& exec);

}  // namespace kdb
