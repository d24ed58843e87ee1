// SPDX-License-Identifier: MIT
// The row of the collections table for one meter of one pass, made from the meter's summary line:
// what the line says is what the database keeps.
#pragma once

#include "database/rows.hpp"

#include <nlohmann/json.hpp>

#include <string>

namespace kcollect {

// `line`: the meter's summary line; `started_utc`/`finished_utc`: when its reading began and ended.
kdb::CollectionRow pass_record(const nlohmann::ordered_json& line, const std::string& started_utc,
                               const std::string& finished_utc);

// This host's clock now, as a UTC text.
std::string now_utc();

}  // namespace kcollect
