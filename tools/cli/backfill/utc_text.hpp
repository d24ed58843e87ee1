// SPDX-License-Identifier: MIT
// UTC times of the backfill: the user's --from and --to, and the collector's record times as
// the milliseconds since 1970 that a sample's time stamp counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kbackfill {

// "2026-03-01", "2026-03-01T12:15", "2026-03-01T12:15:30" (a space for the T, ".mmm" and a
// trailing "Z" allowed), always UTC, as the collector's text 2026-03-01T12:15:30.000Z; nothing
// for any other text or a date that does not exist.
std::optional<std::string> user_utc_text(const std::string& text);

// Milliseconds since 1970 of a collector time text; nothing for text of another form.
std::optional<std::int64_t> epoch_milliseconds(const std::string& text);

}  // namespace kbackfill
