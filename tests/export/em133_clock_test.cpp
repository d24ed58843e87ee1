// SPDX-License-Identifier: MIT
// Setting the em133's clock before the bundle exports: the guard register, the clock block,
// and what a refusing meter leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/journal.hpp"
#include "support/meter_on_502.hpp"

namespace {

using ktest::traffic;

class Em133Clock : public ktest::MeterOn502 {
protected:
    int export_all(int set_clock, int guard) {
        return kolvane_export_em133_all("127.0.0.1", set_clock, guard, dir.path().c_str(), err,
                                        sizeof err);
    }

    // The clock block written in connection 1, checked to be the host's local time during the call.
    void expect_block_of_local_time(time_t before, time_t after) {
        const std::vector<ksim::Request> journal = sim.journal();
        ASSERT_GE(journal.size(), 2u);
        const ksim::Request& write = journal[1];
        ASSERT_EQ(write.function, 16);
        ASSERT_EQ(write.values.size(), 7u);
        struct tm written {};
        written.tm_sec = write.values[0];
        written.tm_min = write.values[1];
        written.tm_hour = write.values[2];
        written.tm_mday = write.values[3];
        written.tm_mon = write.values[4] - 1;
        written.tm_year = write.values[5] + 100;
        written.tm_isdst = -1;
        const time_t at = mktime(&written);
        EXPECT_GE(at, before - 1);
        EXPECT_LE(at, after + 1);
        struct tm local {};
        localtime_r(&at, &local);
        // Normalised back, the block is unchanged, and its weekday (1 = Sunday) fits its date.
        const std::vector<uint16_t> expected = {
            uint16_t(local.tm_sec),     uint16_t(local.tm_min),     uint16_t(local.tm_hour),
            uint16_t(local.tm_mday),    uint16_t(local.tm_mon + 1), uint16_t(local.tm_year - 100),
            uint16_t(local.tm_wday + 1)};
        EXPECT_EQ(write.values, expected);
    }
};

TEST_F(Em133Clock, WithoutSetClockTheClockRegistersAreNotTouched) {
    EXPECT_EQ(export_all(0, 7), 0) << err;
    for (const ksim::Request& request : sim.journal()) {
        EXPECT_FALSE(request.address == ksim::CLOCK_GUARD || request.address == ksim::CLOCK_BLOCK)
            << ktest::describe(request);
    }
    // The first connection is the export of data log 1; four in all.
    const std::vector<std::string> first = traffic(sim, 1);
    EXPECT_NE(std::find(first.begin(), first.end(), "FC16 63120 [5,1,0,0]"), first.end());
    EXPECT_EQ(sim.connections_accepted(), 4u);
}

struct GuardCase {
    int given;
    int written;
};

class Em133ClockGuard : public Em133Clock, public testing::WithParamInterface<GuardCase> {};

TEST_P(Em133ClockGuard, GuardThenClockBlockThenGuardResetOnAConnectionOfTheirOwn) {
    const time_t before = time(nullptr);
    EXPECT_EQ(export_all(1, GetParam().given), 0) << err;
    const time_t after = time(nullptr);
    const std::vector<std::string> clock = traffic(sim, 1);
    ASSERT_EQ(clock.size(), 3u);
    EXPECT_EQ(clock[0], "FC6 2575 [" + std::to_string(GetParam().written) + "]");
    EXPECT_EQ(clock[1].rfind("FC16 4352 [", 0), 0u) << clock[1];
    EXPECT_EQ(clock[2], "FC6 2575 [0]");
    expect_block_of_local_time(before, after);
    EXPECT_EQ(sim.journal()[0].unit, 1);
    EXPECT_EQ(sim.connections_accepted(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Values, Em133ClockGuard,
                         testing::Values(GuardCase{0, KOLVANE_DEFAULT_CLOCK_GUARD},
                                         GuardCase{-1, KOLVANE_DEFAULT_CLOCK_GUARD},
                                         GuardCase{INT_MIN, KOLVANE_DEFAULT_CLOCK_GUARD},
                                         GuardCase{1, 1}, GuardCase{7, 7},
                                         GuardCase{65535, 65535}));

// The meter takes no guard of 0: the default must be a real one.
static_assert(KOLVANE_DEFAULT_CLOCK_GUARD >= 1);

// The guard register holds 16 bits; a guard that does not fit must not reach the meter as 0,
// the value that ends the guarded write.
// The guard register holds 16 bits: a larger guard is refused before anything is written,
// never cut short to the 0 that ends the guarded write.
TEST_F(Em133Clock, GuardAbove16BitsIsRefusedBeforeAnyTraffic) {
    EXPECT_EQ(export_all(1, 65536), -1);
    EXPECT_STREQ(err, "clock_guard_value must be at most 65535");
    EXPECT_TRUE(traffic(sim).empty());
}

struct RefusalCase {
    const char* what;
    std::vector<ksim::Fault> faults;
    size_t requests;  // of the clock connection
    const char* message;
};

class Em133ClockRefused : public Em133Clock, public testing::WithParamInterface<RefusalCase> {};

// Any refusal in the clock step ends the call before a file is written; a refused clock block
// still resets the guard.
TEST_P(Em133ClockRefused, EndsTheCallWithoutExporting) {
    for (const ksim::Fault& fault : GetParam().faults) sim.add_fault(fault);
    EXPECT_EQ(export_all(1, 9), -1) << GetParam().what;
    EXPECT_STREQ(err, GetParam().message);
    const std::vector<std::string> clock = traffic(sim);
    ASSERT_EQ(clock.size(), GetParam().requests);
    EXPECT_EQ(clock[0], "FC6 2575 [9]");
    if (clock.size() == 3) {
        EXPECT_EQ(clock[2], "FC6 2575 [0]");
    }
    EXPECT_EQ(sim.connections_accepted(), 1u);
    EXPECT_TRUE(dir.names().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Em133ClockRefused,
    testing::Values(RefusalCase{"guard",
                                {ksim::Fault::exception(2).writes(ksim::CLOCK_GUARD).nth(1)},
                                1,
                                "Modbus exception 2"},
                    RefusalCase{"clock block",
                                {ksim::Fault::exception(3).writes(ksim::CLOCK_BLOCK)},
                                3,
                                "Modbus exception 3"},
                    RefusalCase{"clock block and its guard reset",
                                {ksim::Fault::exception(3).writes(ksim::CLOCK_BLOCK),
                                 ksim::Fault::exception(4).writes(ksim::CLOCK_GUARD).nth(2)},
                                3,
                                "Modbus exception 3"},
                    RefusalCase{"guard reset",
                                {ksim::Fault::exception(4).writes(ksim::CLOCK_GUARD).nth(2)},
                                3,
                                "Modbus exception 4"}));

TEST_F(Em133Clock, RefusedClockBlockLeavesTheGuardRegisterAtZero) {
    sim.add_fault(ksim::Fault::exception(3).writes(ksim::CLOCK_BLOCK));
    EXPECT_EQ(export_all(1, 9), -1);
    EXPECT_EQ(sim.get_register(ksim::CLOCK_GUARD), std::optional<uint16_t>(0));
    EXPECT_EQ(sim.get_register(ksim::CLOCK_BLOCK), std::nullopt);
}

}  // namespace
