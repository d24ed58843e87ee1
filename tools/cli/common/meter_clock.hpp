// SPDX-License-Identifier: MIT
// A meter's clock: the zone whose wall time it keeps. A record's time stamp counts seconds on the
// meter's own clock, which sites set to local time; the library prints it as it is, and the
// collector turns it into true UTC here, with the system's zone database.
#pragma once

#include <cctz/time_zone.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kcli {

// The problem with `zone` as a meter's clock zone ("unknown time zone 'X'"), empty when it is an
// IANA name the system's zone database holds, or UTC.
std::string zone_problem(const std::string& zone);

// The zone of this host's own clock, the one `export-all --set-clock` writes into a meter: TZ
// when set, else the zone /etc/localtime names; UTC when neither says.
std::string host_zone();

// The problem with `zone`, host_zone()'s answer, as the clock zone of meters that name none: a
// zone the zone database does not hold (a POSIX rule in TZ such as "CET-1CEST,M3.5.0,M10.5.0/3")
// would fail every such meter and be stored as its zone. Says where the zone came from and what
// to give instead; empty when the zone loads.
std::string host_zone_problem(const std::string& zone);

// Turns a meter's time stamps into UTC, record after record in the order the meter recorded them.
// In the hour an autumn change repeats, a wall time is taken on the earlier offset until the
// record before it shows that the clock went back; a wall time a spring change skips is taken on
// the offset before the change.
class WallToUtc {
public:
    // `previous_utc`: the UTC text of the record recorded just before the first one, if known.
    // Throws std::runtime_error for an unknown zone.
    explicit WallToUtc(const std::string& zone,
                       const std::optional<std::string>& previous_utc = std::nullopt);

    // `stamp` as the library prints it, "YYYY-MM-DDTHH:MM:SS.mmm" with or without a trailing Z;
    // returns the UTC text "YYYY-MM-DDTHH:MM:SS.mmmZ". Throws std::runtime_error for a malformed
    // stamp.
    std::string operator()(const std::string& stamp);
    // Whether `stamp`'s wall time comes twice on this zone's clock (an autumn change's hour).
    bool repeated(const std::string& stamp) const;

private:
    cctz::time_zone zone_;
    std::optional<std::int64_t> previous_ms_;  // UTC milliseconds of the record before
};

// Milliseconds since the epoch of a UTC text "YYYY-MM-DDTHH:MM:SS.mmmZ"; the UTC text of such a
// count. utc_ms throws std::runtime_error for a malformed text.
std::int64_t utc_ms(const std::string& utc);
std::string utc_text(std::int64_t ms);

// The UTC text of midnight starting `day` ("YYYY-MM-DD") on a clock in `zone`; throws
// std::runtime_error for an unknown zone or a malformed day.
std::string day_start_utc(const std::string& day, const std::string& zone);
// The day after `day`, "YYYY-MM-DD".
std::string next_day(const std::string& day);

// "YYYY-MM-DDTHH:MM:SS.mmm": a stamp without the Z the library gives it, as a meter's wall time is
// kept beside its UTC time.
std::string wall_text(const std::string& stamp);

}  // namespace kcli
