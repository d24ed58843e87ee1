// SPDX-License-Identifier: MIT
// UTC times as the collector writes them (2026-03-01T12:15:00.000Z) and as users give them.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kreport {

// Seconds since 1970 of a collector time text; nothing for text of another form.
std::optional<double> epoch_seconds(const std::string& text);

// The collector's text of `seconds` since 1970 (milliseconds kept).
std::string utc_text(double seconds);

// A user's time, "2026-03-01", "2026-03-01T12:15", "2026-03-01 12:15:30" or with ".mmm" and
// "Z", always UTC, as the collector's text; nothing when it is not one of these.
std::optional<std::string> parse_user_time(const std::string& text);

// "90s", "15m", "6h", "7d" or plain seconds; nothing for anything else.
std::optional<std::chrono::seconds> parse_span(const std::string& text);

}  // namespace kreport
