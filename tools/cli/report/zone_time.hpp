// SPDX-License-Identifier: MIT
// A meter's clock zone as the report shows it: the meter's calendar days, 23 or 25 hours long on
// the days its clock changes, and the offsets from UTC the page turns times into wall time with.
#pragma once

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>
#include <nlohmann/json.hpp>

#include <string>

namespace kreport {

// One calendar day of a zone: its date and where it begins and ends, in seconds since 1970.
struct ZoneDay {
    std::string date;  // "2026-10-25"
    double start = 0, end = 0;
    bool holds(double seconds) const { return seconds >= start && seconds < end; }
};

class ZoneClock {
public:
    // An IANA zone name; empty is UTC. A zone this computer's zone database lacks reads as UTC,
    // and known() says so.
    explicit ZoneClock(const std::string& zone);

    // The zone the times are shown in: the name given, or UTC.
    const std::string& name() const { return name_; }
    bool known() const { return known_; }

    // The calendar day holding `seconds`; the day of a date "YYYY-MM-DD".
    ZoneDay day_of(double seconds) const;
    ZoneDay day_named(const std::string& date) const;
    const cctz::time_zone& zone() const { return zone_; }

    // The zone's offsets from UTC over [first, last] (seconds since 1970), as
    // [[from, offset seconds], ...] ascending: each holds from its time until the next, the first
    // also before it.
    nlohmann::json offsets(double first, double last) const;

private:
    ZoneDay day_of(const cctz::civil_day& day) const;

    std::string name_;
    bool known_ = true;
    cctz::time_zone zone_;
};

}  // namespace kreport
