// SPDX-License-Identifier: MIT
#include "report/downsample.hpp"

#include <algorithm>
#include <cmath>

namespace kreport {

std::vector<std::size_t> keep_extremes(std::size_t count,
                                       const std::vector<const std::vector<double>*>& series,
                                       std::size_t max_points) {
    std::vector<std::size_t> kept;
    if (count <= max_points || series.empty()) {
        kept.resize(count);
        for (std::size_t i = 0; i < count; ++i) kept[i] = i;
        return kept;
    }
    // Each bucket adds at most two records per series.
    const std::size_t buckets = std::max<std::size_t>(1, max_points / (2 * series.size()));
    kept.push_back(0);
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t begin = count * b / buckets, end = count * (b + 1) / buckets;
        for (const std::vector<double>* values : series) {
            std::size_t low = end, high = end;
            for (std::size_t i = begin; i < end; ++i) {
                const double v = (*values)[i];
                if (std::isnan(v)) continue;
                if (low == end || v < (*values)[low]) low = i;
                if (high == end || v > (*values)[high]) high = i;
            }
            if (low != end) kept.push_back(low);
            if (high != end) kept.push_back(high);
        }
    }
    kept.push_back(count - 1);
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    return kept;
}

}  // namespace kreport
