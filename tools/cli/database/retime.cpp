// SPDX-License-Identifier: MIT
#include "database/retime.hpp"

#include "common/meter_clock.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace kdb {
namespace {

// Converts one log's times, [first, last) of `times` in wall time order.
void convert_log(std::vector<StoredTime>& times, std::size_t first, std::size_t last,
                 const std::string& zone) {
    // Sequence numbers run on across a wrap at 65536: in wall time order a drop by more than half
    // the range is a wrap, where the repeated hour only ever swaps a few records.
    std::vector<std::int64_t> order(last - first);
    std::int64_t base = 0;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first && times[i].seq < times[i - 1].seq - 32768) base += 65536;
        if (i > first && times[i].seq > times[i - 1].seq + 32768) base -= 65536;
        order[i - first] = base + times[i].seq;
    }
    std::vector<std::size_t> recorded(last - first);
    std::iota(recorded.begin(), recorded.end(), first);
    std::stable_sort(recorded.begin(), recorded.end(), [&](std::size_t a, std::size_t b) {
        return order[a - first] < order[b - first];
    });
    kcli::WallToUtc to_utc(zone);
    for (const std::size_t i : recorded) times[i].utc = to_utc(times[i].wall);
}

}  // namespace

void convert_times(std::vector<StoredTime>& times, const std::string& zone) {
    for (std::size_t first = 0; first < times.size();) {
        std::size_t last = first;
        while (last < times.size() && times[last].file_id == times[first].file_id) ++last;
        convert_log(times, first, last, zone);
        first = last;
    }
}

}  // namespace kdb
