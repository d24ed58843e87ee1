// SPDX-License-Identifier: MIT
// What the collector checks of a meter's logs once it has read them: whether the meter's clock
// agrees with this host's, and whether its circular log overwrote records before they were
// collected.
#pragma once

#include "database/rows.hpp"

#include <optional>
#include <string>

namespace kcollect {

// The warning about the newest data log record at `newest_utc`, of a log that records every
// `step_s` seconds (0: not known), judged at `now_utc`: a record from the future, or one much older
// than the interval allows. Empty when the clock looks right.
std::string clock_warning(const std::string& newest_utc, double step_s, const std::string& now_utc);

// The records of log `file_id` that the meter overwrote before they were collected: the first
// record read now (`first_seq` at `first_utc`) is newer than the newest stored and does not follow
// it. Nothing when none were lost, or when the log was restarted rather than overwritten.
std::optional<kdb::GapRow> records_lost(std::int64_t serial, int file_id,
                                        const kdb::NewestRecord& stored, int first_seq,
                                        const std::string& first_utc);

// The warning for `gap`.
std::string lost_warning(const kdb::GapRow& gap);

// The cause of a gap of records a circular log overwrote.
inline constexpr const char* OVERWRITTEN = "overwritten before collection";

}  // namespace kcollect
