// SPDX-License-Identifier: MIT
#include "energy/calendar_text.hpp"

#include <chrono>
#include <cstdio>
#include <regex>

namespace kenergy {

std::string day_text(const cctz::civil_day& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", int(day.year()), day.month(), day.day());
    return text;
}

std::string month_text(const cctz::civil_month& month) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d", int(month.year()), month.month());
    return text;
}

std::optional<cctz::civil_day> parse_day(const std::string& text) {
    static const std::regex form(R"(\d{4}-\d{2}-\d{2})");
    if (!std::regex_match(text, form)) return std::nullopt;
    int year = 0, month = 0, day = 0;
    std::sscanf(text.c_str(), "%d-%d-%d", &year, &month, &day);
    const cctz::civil_day civil(year, month, day);
    if (civil.year() != year || civil.month() != month || civil.day() != day) return std::nullopt;
    return civil;
}

cctz::civil_month parse_month(const std::string& text) {
    int year = 1970, month = 1;
    std::sscanf(text.c_str(), "%d-%d", &year, &month);
    return cctz::civil_month(year, month);
}

std::string wall_text(std::int64_t ms, const cctz::time_zone& zone) {
    const auto point = std::chrono::time_point_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::time_point(std::chrono::milliseconds(ms)));
    return cctz::format("%Y-%m-%dT%H:%M:%E3S", point, zone);
}

}  // namespace kenergy
