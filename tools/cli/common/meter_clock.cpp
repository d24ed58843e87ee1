// SPDX-License-Identifier: MIT
#include "common/meter_clock.hpp"

#include <cctz/civil_time.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace kcli {
namespace {

using Milliseconds = std::chrono::milliseconds;
using UtcPoint = std::chrono::time_point<std::chrono::system_clock, std::chrono::seconds>;

struct Stamp {
    cctz::civil_second wall;
    int millis = 0;
};

Stamp parse_stamp(const std::string& stamp) {
    int y, mo, d, h, mi, s, ms;
    char tail = 0;
    const int n = std::sscanf(stamp.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi,
                              &s, &ms, &tail);
    if (stamp.size() < 23 || n < 7 || (n == 8 && (tail != 'Z' || stamp.size() != 24)))
        throw std::runtime_error("Cannot read the time stamp '" + stamp + "'");
    return {cctz::civil_second(y, mo, d, h, mi, s), ms};
}

std::int64_t to_ms(UtcPoint point, int millis) {
    return std::chrono::duration_cast<Milliseconds>(point.time_since_epoch()).count() + millis;
}

}  // namespace

std::string utc_text(std::int64_t ms) {
    const UtcPoint seconds{std::chrono::seconds(ms / 1000 - (ms % 1000 < 0 ? 1 : 0))};
    const int millis = static_cast<int>((ms % 1000 + 1000) % 1000);
    char tail[8];
    std::snprintf(tail, sizeof tail, ".%03dZ", millis);
    return cctz::format("%Y-%m-%dT%H:%M:%S", seconds, cctz::utc_time_zone()) + tail;
}

std::int64_t utc_ms(const std::string& utc) {
    const Stamp parsed = parse_stamp(utc);
    return to_ms(cctz::convert(parsed.wall, cctz::utc_time_zone()), parsed.millis);
}

std::string zone_problem(const std::string& zone) {
    cctz::time_zone loaded;
    if (zone.empty() || !cctz::load_time_zone(zone, &loaded))
        return "unknown time zone '" + zone + "'";
    return {};
}

std::string host_zone() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return *tz == ':' ? tz + 1 : tz;
    char target[512];
    const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
        const std::string path(target, static_cast<std::size_t>(n));
        const std::string marker = "zoneinfo/";
        if (const auto at = path.rfind(marker); at != std::string::npos)
            return path.substr(at + marker.size());
    }
    return "UTC";
}

std::string host_zone_problem(const std::string& zone) {
    if (zone_problem(zone).empty()) return {};
    const char* tz = std::getenv("TZ");
    return "this host's zone '" + zone + "' (" + (tz && *tz ? "TZ" : "/etc/localtime") +
           ") is not in the zone database: give the meters' zone with --tz or a hosts file "
           "line's tz=, an IANA name such as Europe/Berlin, or UTC";
}

WallToUtc::WallToUtc(const std::string& zone, const std::optional<std::string>& previous_utc) {
    if (!cctz::load_time_zone(zone, &zone_))
        throw std::runtime_error("unknown time zone '" + zone + "'");
    if (previous_utc) previous_ms_ = utc_ms(*previous_utc);
}

std::string WallToUtc::operator()(const std::string& stamp) {
    const Stamp parsed = parse_stamp(stamp);
    const cctz::time_zone::civil_lookup found = zone_.lookup(parsed.wall);
    std::int64_t ms = to_ms(found.pre, parsed.millis);
    // The repeated hour: the first time round unless that would not come after the record before.
    if (found.kind == cctz::time_zone::civil_lookup::REPEATED && previous_ms_ &&
        ms <= *previous_ms_)
        ms = to_ms(found.post, parsed.millis);
    previous_ms_ = ms;
    return utc_text(ms);
}

bool WallToUtc::repeated(const std::string& stamp) const {
    return zone_.lookup(parse_stamp(stamp).wall).kind == cctz::time_zone::civil_lookup::REPEATED;
}

namespace {

cctz::civil_day parse_day(const std::string& day) {
    int y, m, d;
    if (day.size() != 10 || std::sscanf(day.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3)
        throw std::runtime_error("Cannot read the day '" + day + "'");
    return cctz::civil_day(y, m, d);
}

std::string day_text(const cctz::civil_day& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", static_cast<int>(day.year()), day.month(),
                  day.day());
    return text;
}

}  // namespace

std::string day_start_utc(const std::string& day, const std::string& zone) {
    cctz::time_zone loaded;
    if (!cctz::load_time_zone(zone, &loaded))
        throw std::runtime_error("unknown time zone '" + zone + "'");
    // A midnight a change of clocks skips starts the day at the first instant after it.
    return utc_text(to_ms(loaded.lookup(cctz::civil_second(parse_day(day))).pre, 0));
}

std::string next_day(const std::string& day) { return day_text(parse_day(day) + 1); }

std::string wall_text(const std::string& stamp) {
    return !stamp.empty() && stamp.back() == 'Z' ? stamp.substr(0, stamp.size() - 1) : stamp;
}

}  // namespace kcli
