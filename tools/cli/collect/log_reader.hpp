// SPDX-License-Identifier: MIT
// Reads one log of a meter through the library into the writer, only what is newer than the
// newest record stored of it, converting each record's time to UTC and watching the log's
// interval and holes as the records stream.
#pragma once

#include "collect/completeness.hpp"
#include "collect/target.hpp"
#include "collect/writer.hpp"
#include "database/rows.hpp"

#include <memory>
#include <optional>
#include <string>

namespace kcollect {

struct LogRead {
    int read = 0;
    std::string error;             // empty on success
    std::optional<int> after;      // the newest record stored before, the read resumed after
    std::optional<int> first_seq;  // of the first record read
    std::optional<std::string> newest_utc;  // of the newest record, read now or stored before
    double step_s = 0;                      // between the two newest records; 0: not known
    std::optional<kdb::GapRow> lost;        // records overwritten before they were collected
    std::optional<LogWatch> watch;          // of a data log
    // Whether the read resumed after the newest stored record, or else why it read the whole log.
    std::optional<std::string> full_read_reason() const {
        if (!after) return "nothing stored yet";
        if (!first_seq || *first_seq == (*after + 1) % 65536) return std::nullopt;
        return "the meter's log no longer holds record " + std::to_string(*after) +
               " (cleared or overwritten)";
    }
};

// Streams log `log` of the meter `serial` into the writer; records delivered before a failure
// are kept. `newest`: the newest record stored of the log before. The meter's claim in `store`
// is confirmed before the read and before each record: once it is gone the meter is stopped.
LogRead read_log(const Target& t, const kdb::MeterRow::Log& log, std::int64_t serial,
                 const std::optional<kdb::NewestRecord>& newest, kdb::Database& store,
                 const std::shared_ptr<MeterTally>& tally, Writer& writer);

}  // namespace kcollect
