// SPDX-License-Identifier: MIT
// The energy the collector keeps in the database: each counter's intervals, days and months, as
// `kolvane energy` reckons them, written after the records of a data log were stored, so that
// the energy views read the rows a query asks for instead of weighing every record anew.
//
// A pass goes on from the last interval whose energy counted before its first new record (or
// before the newest record the kept rows were computed from, when a pass stopped before its
// energy was kept): the intervals after it, the days from the one it ends in and the months
// from that day's are computed again and replace what was kept. A log never computed (a new
// meter, a database from before energy was kept, a meter whose records' times were converted
// anew) is computed whole.
#pragma once

#include "database/database.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kenergy {

struct NewRecords {
    std::int64_t serial = 0;
    int file_id = 0;
    std::string zone;  // of the meter's clock
    // The energy counters of the log's columns as the meter lists them now.
    std::vector<kdb::CounterColumn> counters;
    std::optional<std::string> first;  // UTC text of the first record of the pass; nothing: none
};

// Brings the kept energy of a data log up to its newest stored record. Call on the database's
// writing thread, after the records are committed.
void keep_energy(kdb::Database& store, const NewRecords& records);

}  // namespace kenergy
