// SPDX-License-Identifier: MIT
// A log's records as the library gives them, stamped with the meter's wall time labelled UTC,
// turned into true UTC with the meter's wall time beside it: datalog and eventlog with --tz.
#pragma once

#include "common/meter_clock.hpp"

#include <optional>
#include <string>

namespace kcli {

// Restamps one log's records in the order the meter recorded them (see WallToUtc).
class RecordRestamper {
public:
    // `previous_utc`: the UTC text of the record recorded just before the first one, if known.
    // Throws std::runtime_error for an unknown zone.
    explicit RecordRestamper(const std::string& zone,
                             const std::optional<std::string>& previous_utc = std::nullopt);

    // A JSON line of the library's record stream: a record's "timestamp" becomes true UTC and
    // "meter_time" follows it with the meter's wall time; the header line stays as it is. Throws
    // std::runtime_error for a record whose time stamp cannot be read.
    std::string json_line(const std::string& line);

    // The library's CSV header with a meter_time column after Date/Time.
    static std::string csv_header(const std::string& header);
    // One of the library's CSV rows (without its line feed): Date/Time becomes the true UTC text
    // and the meter's wall time follows it, both as in the JSON lines. Throws std::runtime_error
    // for a row whose Date/Time cannot be read.
    std::string csv_row(const std::string& row);

private:
    WallToUtc to_utc_;
};

// The wall time a clock in `zone` showed at the UTC text `utc` ("YYYY-MM-DDTHH:MM:SS.mmm[Z]"),
// as "YYYY-MM-DDTHH:MM:SS.mmm". Throws std::runtime_error for an unknown zone or a malformed
// text.
std::string wall_time_at(const std::string& utc, const std::string& zone);

}  // namespace kcli
