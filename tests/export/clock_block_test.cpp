// SPDX-License-Identifier: MIT
// The meter's 7-word clock block from a broken-down local time.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ctime>

#include "export/bundle.hpp"

namespace {

using Block = std::array<uint16_t, 7>;

struct tm broken_down(int year, int month, int day, int hour, int minute, int second, int weekday) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = weekday;  // 0 = Sunday
    return t;
}

struct Case {
    const char* what;
    struct tm local;
    Block expected;  // seconds, minutes, hour, day, month, year - 2000, weekday (1 = Sunday)
};

class ClockBlock : public testing::TestWithParam<Case> {};

TEST_P(ClockBlock, HoldsTheLocalTimeInMeterOrder) {
    EXPECT_EQ(kolvane::clock_block(GetParam().local), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Dates, ClockBlock,
    testing::Values(
        Case{"a Saturday", broken_down(2024, 3, 2, 13, 4, 5, 6), {5, 4, 13, 2, 3, 24, 7}},
        Case{"a Sunday", broken_down(2024, 3, 3, 0, 0, 0, 0), {0, 0, 0, 3, 3, 24, 1}},
        Case{"a Monday", broken_down(2024, 3, 4, 23, 59, 59, 1), {59, 59, 23, 4, 3, 24, 2}},
        Case{"the year 2031", broken_down(2031, 12, 31, 8, 30, 0, 3), {0, 30, 8, 31, 12, 31, 4}},
        Case{"January, a leap second",
             broken_down(2000, 1, 1, 0, 0, 60, 6),
             {60, 0, 0, 1, 1, 0, 7}}));

}  // namespace
