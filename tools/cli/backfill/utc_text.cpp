// SPDX-License-Identifier: MIT
#include "backfill/utc_text.hpp"

#include <cstdio>

namespace kbackfill {
namespace {

struct Fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, milli = 0;
};

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
std::int64_t days_from_civil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t{era} * 146097 + doe - 719468;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool valid(const Fields& f) {
    static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.year < 1970 || f.year > 9999 || f.month < 1 || f.month > 12) return false;
    const int days = DAYS[f.month - 1] + (f.month == 2 && leap(f.year) ? 1 : 0);
    return f.day >= 1 && f.day <= days && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
           f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

bool digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// YYYY-MM-DD[(T| )HH:MM[:SS[.mmm]]][Z]; `full` asks for the collector's whole form.
std::optional<Fields> parse(const std::string& text, bool full) {
    Fields f;
    if (!digits(text, 0, 4, f.year) || text.size() < 10 || text[4] != '-' ||
        !digits(text, 5, 2, f.month) || text[7] != '-' || !digits(text, 8, 2, f.day))
        return std::nullopt;
    std::size_t at = 10;
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        if (!digits(text, at + 1, 2, f.hour) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !digits(text, at + 4, 2, f.minute))
            return std::nullopt;
        at += 6;
        if (at < text.size() && text[at] == ':') {
            if (!digits(text, at + 1, 2, f.second)) return std::nullopt;
            at += 3;
            if (at < text.size() && text[at] == '.') {
                if (!digits(text, at + 1, 3, f.milli)) return std::nullopt;
                at += 4;
            } else if (full) {
                return std::nullopt;
            }
        } else if (full) {
            return std::nullopt;
        }
    } else if (full) {
        return std::nullopt;
    }
    if (at < text.size() && text[at] == 'Z')
        ++at;
    else if (full)
        return std::nullopt;
    if (at != text.size() || !valid(f)) return std::nullopt;
    return f;
}

}  // namespace

std::optional<std::string> user_utc_text(const std::string& text) {
    const auto f = parse(text, false);
    if (!f) return std::nullopt;
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f->year, f->month, f->day,
                  f->hour, f->minute, f->second, f->milli);
    return std::string(out);
}

std::optional<std::int64_t> epoch_milliseconds(const std::string& text) {
    const auto f = parse(text, true);
    if (!f) return std::nullopt;
    const std::int64_t seconds = days_from_civil(f->year, f->month, f->day) * 86400 +
                                 f->hour * 3600 + f->minute * 60 + f->second;
    return seconds * 1000 + f->milli;
}

}  // namespace kbackfill
