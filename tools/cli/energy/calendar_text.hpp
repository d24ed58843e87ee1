// SPDX-License-Identifier: MIT
// Calendar days and months as texts, "2026-03-29" and "2026-03", the way the energy figures are
// labelled and the user names them.
#pragma once

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kenergy {

std::string day_text(const cctz::civil_day& day);
std::string month_text(const cctz::civil_month& month);
// The day a text "YYYY-MM-DD" names; nothing for any other text or a day the calendar lacks.
std::optional<cctz::civil_day> parse_day(const std::string& text);
// The month a text "YYYY-MM" names (a day's text names its month too).
cctz::civil_month parse_month(const std::string& text);

// The wall time of `ms` (UTC milliseconds) on `zone`'s clock, "YYYY-MM-DDTHH:MM:SS.mmm".
std::string wall_text(std::int64_t ms, const cctz::time_zone& zone);

}  // namespace kenergy
