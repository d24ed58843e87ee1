// SPDX-License-Identifier: MIT
// What the collections tell of each meter: when it was last collected and how, the warnings of
// its latest pass, how many passes in the range had warnings and which failed; and how complete
// its data logs are, day by day, with the gaps and their causes.
#pragma once

#include "database/database.hpp"
#include "report/zone_time.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace kreport {

// The JSON of each meter's collections, by serial:
//   {"last": {"finished_at", "outcome"} or null, "passes", "passes_with_warnings",
//    "latest_warnings": [texts], "latest_at", "failed": [{"finished_at", "outcome", "error"}]}
// A pass that did not say who answered (busy, unreachable) belongs to the meter known at its
// host, port and unit: from the meters table, else from the newest pass there that named one.
// Passes at an address no meter ever answered from go under "unidentified" as {"finished_at",
// "host", "port", "unit", "name", "outcome", "error"}, the newest ones, all counted in
// "unidentified_failures". Passes count in the selection's range; the latest is the newest of all.
// "names" holds the site's name for each meter as its newest pass gave it.
struct CollectionRecord {
    std::map<std::int64_t, nlohmann::json> meters;
    nlohmann::json unidentified = nlohmann::json::array();
    std::size_t unidentified_failures = 0;
    std::map<std::int64_t, std::string> names;
};
CollectionRecord read_collections(kdb::Database& reader, const kdb::Selection& selection,
                                  const std::vector<kdb::MeterPlace>& places);

// Each data log's completeness of the meters, by serial: [{"file_id", "expected", "present",
// "missing", "days": [{"day", "expected", "present", "missing"}], "gaps": [{"from", "to",
// "missing", "cause"}]}]. Days are those of the meter's clock that overlap the range.
std::map<std::int64_t, nlohmann::json> read_completeness(
    kdb::Database& reader, const kdb::Selection& selection,
    const std::function<const ZoneClock&(std::int64_t serial)>& clock_of);

}  // namespace kreport
