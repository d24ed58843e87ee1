// SPDX-License-Identifier: MIT
// A collection run: every target read by `jobs` worker threads into one store, one summary
// line per meter on standard output as it finishes; with an interval, again and again.
#pragma once

#include "collect/meter_reader.hpp"

#include <chrono>
#include <optional>
#include <vector>

namespace kcollect {

struct RunSettings {
    std::vector<Target> targets;
    Parts parts;
    int jobs = 4;
    int per_gateway = 1;  // meters of one HOST:PORT read at once
    std::optional<std::chrono::seconds> every;
};

// Returns the exit status: 0 every meter done, 1 any failed (or the store failed), 130 interrupted.
int run_collection(const RunSettings& settings, kdb::Database& store);

}  // namespace kcollect
