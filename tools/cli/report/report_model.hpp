// SPDX-License-Identifier: MIT
// Everything the page shows, gathered from the database into one JSON document: the summary,
// and per meter its identity, its data logs' charts and gaps, and its event log.
#pragma once

#include "database/database.hpp"

#include <nlohmann/json.hpp>

namespace kreport {

nlohmann::json build_report(kdb::Database& reader, const kdb::Selection& selection);

}  // namespace kreport
