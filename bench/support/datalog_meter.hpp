// SPDX-License-Identifier: MIT
// The meter the transfer and memory benchmarks read: the simulator's default em133 with a data
// log of 16 columns served in blocks of 20 records (800 registers, 7 reads of at most 120).
#pragma once

#include "simulator.hpp"

namespace kbench {

inline constexpr int COLUMNS = 16;
inline constexpr int RECORDS_PER_BLOCK = 20;

// Adds (or replaces) data log `file_id` of `records` records, 15 minutes apart.
void add_datalog(ksim::Meter& meter, int file_id, int records);

}  // namespace kbench
