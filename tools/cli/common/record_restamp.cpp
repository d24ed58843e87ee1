// SPDX-License-Identifier: MIT
#include "common/record_restamp.hpp"

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>

#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace kcli {
namespace {

constexpr std::string_view STAMP_KEY = "\"timestamp\":\"";
constexpr std::string_view HEADER_START = "{\"type\":\"header\"";

std::string wall_text_of(long long year, int month, int day, int hour, int minute, int second,
                         int millis) {
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d.%03d", year, month, day, hour,
                  minute, second, millis);
    return text;
}

// The library's CSV Date/Time, "DD/MM/YY  HH:MM:SS.mmm", as "YYYY-MM-DDTHH:MM:SS.mmm". Its years
// have two digits: 70-99 are 1970-1999 (a clock never set counts from 1970), 00-69 2000-2069.
std::string csv_wall_text(const std::string& stamp) {
    int d, mo, y, h, mi, s, ms, end = 0;
    if (std::sscanf(stamp.c_str(), "%2d/%2d/%2d  %2d:%2d:%2d.%3d%n", &d, &mo, &y, &h, &mi, &s, &ms,
                    &end) != 7 ||
        end != 22 || stamp.size() != 22)
        throw std::runtime_error("Cannot read the time stamp '" + stamp + "'");
    return wall_text_of(y >= 70 ? 1900 + y : 2000 + y, mo, d, h, mi, s, ms);
}

}  // namespace

RecordRestamper::RecordRestamper(const std::string& zone,
                                 const std::optional<std::string>& previous_utc)
    : to_utc_(zone, previous_utc) {}

std::string RecordRestamper::json_line(const std::string& line) {
    if (line.starts_with(HEADER_START)) return line;
    // The library writes the key once, at the top level: inside a string its quotes are escaped.
    const std::size_t key = line.find(STAMP_KEY);
    const std::size_t start = key == std::string::npos ? key : key + STAMP_KEY.size();
    const std::size_t end = start == std::string::npos ? start : line.find('"', start);
    if (end == std::string::npos)
        throw std::runtime_error("Cannot read the time stamp of the record " + line);
    const std::string stamp = line.substr(start, end - start);
    return line.substr(0, start) + to_utc_(stamp) + "\",\"meter_time\":\"" + wall_text(stamp) +
           line.substr(end);
}

std::string RecordRestamper::csv_header(const std::string& header) {
    const std::size_t first = header.find(',');
    const std::size_t second = first == std::string::npos ? first : header.find(',', first + 1);
    if (second == std::string::npos) return header + ",meter_time";
    return header.substr(0, second) + ",meter_time" + header.substr(second);
}

std::string RecordRestamper::csv_row(const std::string& row) {
    // No. and Date/Time come first, and the library never quotes either.
    const std::size_t first = row.find(',');
    if (first == std::string::npos)
        throw std::runtime_error("Cannot read the time stamp of the row " + row);
    const std::size_t second = row.find(',', first + 1);
    const std::string wall = csv_wall_text(row.substr(first + 1, second - first - 1));
    return row.substr(0, first + 1) + to_utc_(wall) + ',' + wall +
           (second == std::string::npos ? "" : row.substr(second));
}

std::string wall_time_at(const std::string& utc, const std::string& zone) {
    cctz::time_zone loaded;
    if (!cctz::load_time_zone(zone, &loaded))
        throw std::runtime_error("unknown time zone '" + zone + "'");
    const std::int64_t ms = utc_ms(utc);
    const std::int64_t seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    const cctz::civil_second wall =
        cctz::convert(cctz::time_point<cctz::seconds>(cctz::seconds(seconds)), loaded);
    return wall_text_of(static_cast<long long>(wall.year()), wall.month(), wall.day(), wall.hour(),
                        wall.minute(), wall.second(), static_cast<int>((ms % 1000 + 1000) % 1000));
}

}  // namespace kcli
