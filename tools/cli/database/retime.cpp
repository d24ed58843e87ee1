// SPDX-License-Identifier: MIT
#include "database/retime.hpp"

#include "common/meter_clock.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace kdb {
namespace {

// How far `seq` lies after `before`, -32767 to 32768, across a wrap at 65536.
int seq_step(int before, int seq) { return (seq - before + 65536 + 32767) % 65536 - 32767; }

// Converts one log's times, [first, last) of `times` in wall time order, in the order the meter
// recorded them. A log that started again under the same sequence numbers (cleared, or a meter
// replaced by one with the same serial) holds runs of sequence numbers that overlap: each run
// is recorded after the runs before it in wall time order. Inside a run, in wall time order,
// sequence numbers step back only in the hour an autumn change repeats, where the numbers tell
// the first time round from the second; a step back anywhere else starts another run.
void convert_log(std::vector<StoredTime>& times, std::size_t first, std::size_t last,
                 const std::string& zone) {
    kcli::WallToUtc to_utc(zone);
    struct Place {
        std::int64_t run, seq;  // the run, and the sequence number unwrapped within it
    };
    std::vector<Place> place(last - first);
    for (std::size_t i = first + 1; i < last; ++i) {
        const Place& before = place[i - 1 - first];
        const int step = seq_step(times[i - 1].seq, times[i].seq);
        const bool in_repeated_hour =
            to_utc.repeated(times[i - 1].wall) && to_utc.repeated(times[i].wall);
        place[i - first] = step > 0 || in_repeated_hour ? Place{before.run, before.seq + step}
                                                        : Place{before.run + 1, 0};
    }
    std::vector<std::size_t> recorded(last - first);
    std::iota(recorded.begin(), recorded.end(), first);
    std::stable_sort(recorded.begin(), recorded.end(), [&](std::size_t a, std::size_t b) {
        const Place& pa = place[a - first];
        const Place& pb = place[b - first];
        return pa.run != pb.run ? pa.run < pb.run : pa.seq < pb.seq;
    });
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
