// SPDX-License-Identifier: MIT
#include "report/utc_time.hpp"

#include "common/duration.hpp"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kreport {
namespace {

bool valid_date(int year, unsigned month, unsigned day) {
    return std::chrono::year_month_day(std::chrono::year(year), std::chrono::month(month),
                                       std::chrono::day(day))
        .ok();
}

double seconds_of(int year, unsigned month, unsigned day, int hour, int minute, double second) {
    const std::chrono::sys_days days{std::chrono::year(year) / std::chrono::month(month) /
                                     std::chrono::day(day)};
    return static_cast<double>(days.time_since_epoch().count()) * 86400.0 + hour * 3600.0 +
           minute * 60.0 + second;
}

}  // namespace

std::optional<double> epoch_seconds(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0, used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour,
                    &minute, &second, &millis, &used) != 7 ||
        used != static_cast<int>(text.size()) || !valid_date(year, month, day))
        return std::nullopt;
    return seconds_of(year, month, day, hour, minute, second + millis / 1000.0);
}

std::string utc_text(double seconds) {
    const double whole = std::floor(seconds);
    int millis = static_cast<int>(std::lround((seconds - whole) * 1000.0));
    auto t = static_cast<std::time_t>(whole);
    if (millis == 1000) ++t, millis = 0;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return text;
}

std::optional<std::string> parse_user_time(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, used = 0;
    double second = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &used) != 3 || used != 10 ||
        !valid_date(year, month, day))
        return std::nullopt;
    std::string rest = text.substr(10);
    if (!rest.empty() && rest.back() == 'Z') rest.pop_back();
    if (!rest.empty()) {
        char separator = 0;
        int length = 0;
        const int fields =
            std::sscanf(rest.c_str(), "%c%2d:%2d%n", &separator, &hour, &minute, &length);
        if (fields != 3 || length != 6 || (separator != 'T' && separator != ' '))
            return std::nullopt;
        rest = rest.substr(6);
        if (!rest.empty()) {
            char* end = nullptr;
            if (rest[0] != ':' || rest.size() < 3) return std::nullopt;
            second = std::strtod(rest.c_str() + 1, &end);
            if (*end != '\0' || !(second >= 0 && second < 61)) return std::nullopt;
        }
        if (hour > 23 || minute > 59 || hour < 0 || minute < 0) return std::nullopt;
    }
    return utc_text(seconds_of(year, month, day, hour, minute, second));
}

std::optional<std::chrono::seconds> parse_span(const std::string& text) {
    if (text.size() > 1 && text.back() == 'd') {
        const auto hours = kcli::parse_duration(text.substr(0, text.size() - 1) + "h");
        return hours ? std::optional(*hours * 24) : std::nullopt;
    }
    return kcli::parse_duration(text);
}

}  // namespace kreport
