// SPDX-License-Identifier: MIT
// Thinning a chart's records to a few thousand points without losing its peaks: the records are
// cut into buckets of consecutive records, and each bucket keeps, for every series, the record
// holding its minimum and the one holding its maximum.
#pragma once

#include <cstddef>
#include <vector>

namespace kreport {

// The indices, ascending, of the records to keep out of `count`, each series given as one value
// per record (NaN where the record has none). The first and last record are always kept. With
// `count` at most `max_points` every record is kept.
std::vector<std::size_t> keep_extremes(std::size_t count,
                                       const std::vector<const std::vector<double>*>& series,
                                       std::size_t max_points);

}  // namespace kreport
