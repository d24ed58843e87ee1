// SPDX-License-Identifier: MIT
// Everything the page shows, gathered from the database into one JSON document: the summary,
// and per meter its identity, its data logs' charts and gaps, and its event log. Times stay UTC;
// each meter names its clock's zone, and "zones" holds every zone's offsets from UTC over the
// times shown, with which the page shows them on the meter's wall clock.
#pragma once

#include "database/database.hpp"

#include <nlohmann/json.hpp>

namespace kreport {

nlohmann::json build_report(kdb::Database& reader, const kdb::Selection& selection);

}  // namespace kreport
