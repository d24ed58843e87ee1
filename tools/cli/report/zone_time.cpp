// SPDX-License-Identifier: MIT
#include "report/zone_time.hpp"

#include <cctz/civil_time.h>

#include <cmath>
#include <cstdio>

namespace kreport {
namespace {

using Seconds = cctz::time_point<cctz::seconds>;

Seconds point_of(double seconds) {
    return Seconds(cctz::seconds(static_cast<long long>(std::floor(seconds))));
}

double seconds_of(Seconds point) { return static_cast<double>(point.time_since_epoch().count()); }

}  // namespace

ZoneClock::ZoneClock(const std::string& zone) : name_(zone.empty() ? "UTC" : zone) {
    if (!cctz::load_time_zone(name_, &zone_)) {
        known_ = false;
        name_ = "UTC";
        zone_ = cctz::utc_time_zone();
    }
}

ZoneDay ZoneClock::day_of(double seconds) const {
    return day_of(cctz::civil_day(cctz::convert(point_of(seconds), zone_)));
}

ZoneDay ZoneClock::day_named(const std::string& date) const {
    int year = 1970, month = 1, day = 1;
    std::sscanf(date.c_str(), "%d-%d-%d", &year, &month, &day);
    return day_of(cctz::civil_day(year, month, day));
}

ZoneDay ZoneClock::day_of(const cctz::civil_day& day) const {
    // A midnight the clock skips: the day begins when the clock jumps past it. A repeated one:
    // at the first.
    auto start_of = [&](const cctz::civil_day& d) {
        const cctz::time_zone::civil_lookup found = zone_.lookup(cctz::civil_second(d));
        return seconds_of(found.kind == cctz::time_zone::civil_lookup::SKIPPED ? found.trans
                                                                               : found.pre);
    };
    char date[32];
    std::snprintf(date, sizeof date, "%04lld-%02d-%02d", static_cast<long long>(day.year()),
                  day.month(), day.day());
    return {date, start_of(day), start_of(day + 1)};
}

nlohmann::json ZoneClock::offsets(double first, double last) const {
    Seconds at = point_of(first);
    int offset = zone_.lookup(at).offset;
    nlohmann::json list = nlohmann::json::array({nlohmann::json::array({seconds_of(at), offset})});
    cctz::time_zone::civil_transition change;
    while (at < point_of(last) && zone_.next_transition(at, &change)) {
        const Seconds when = zone_.lookup(change.to).trans;
        if (when <= at) break;
        at = when;
        // Some changes alter only the zone's abbreviation or its daylight flag.
        const int now = zone_.lookup(at).offset;
        if (now != offset && at <= point_of(last))
            list.push_back(nlohmann::json::array({seconds_of(at), now}));
        offset = now;
    }
    return list;
}

}  // namespace kreport
