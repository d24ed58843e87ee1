// SPDX-License-Identifier: MIT
// How complete a meter's data logs are: each log's interval and the holes between its records,
// watched as the records stream, then per day on the meter's clock the records expected and
// present, and every hole stored with its cause.
#pragma once

#include "collect/writer.hpp"
#include "database/database.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kcollect {

// One data log's records as they stream, in the order the meter recorded them.
class LogWatch {
public:
    // `newest_stored`: the UTC text of the newest record stored before, if any.
    explicit LogWatch(const std::optional<std::string>& newest_stored);
    void add(const std::string& utc, const std::string& meter_time);

    // The log's interval: its most common step between records; 0 when not known.
    double interval_s() const;
    struct Hole {
        std::string from, to;  // UTC of the records on either side
        std::int64_t missing = 0;
    };
    // Steps of more than one and a half intervals.
    std::vector<Hole> holes() const;
    // The days (on the meter's clock) of the records that came.
    const std::set<std::string>& days() const { return days_; }

private:
    std::optional<std::int64_t> previous_ms_;
    std::string previous_utc_;
    std::map<std::int64_t, std::int64_t> steps_;  // step in ms -> how often
    std::optional<std::int64_t> shortest_ms_;
    std::vector<std::pair<Hole, std::int64_t>> long_steps_;  // longer than the shortest so far
    std::set<std::string> days_;
};

// Stores, through the writer, the completeness of every day a data log's records came on and
// every hole in it with its cause: the meter was off when power events lie around it, else the
// meter did not record. Holes starting at `skip_from` (records lost before collection, stored
// already) are left out. Reads through `store` what is committed: call after a flush.
void record_completeness(kdb::Database& store, Writer& writer, std::int64_t serial, int file_id,
                         const std::string& zone, const LogWatch& watch,
                         const std::optional<std::string>& skip_from);

inline constexpr const char* METER_OFF = "the meter was off";
inline constexpr const char* NOT_RECORDED = "not recorded";

}  // namespace kcollect
