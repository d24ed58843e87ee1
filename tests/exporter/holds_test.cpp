// SPDX-License-Identifier: MIT
// The rule by which the exporter holds a meter that did not answer, on times the test gives.
#include "exporter/meter_holds.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;
using kexp::MeterHolds;

std::optional<MeterHolds::Held> held(MeterHolds& holds, const std::string& meter,
                                     MeterHolds::Clock::time_point at) {
    auto turn = holds.start(meter, at);
    if (const auto* held = std::get_if<MeterHolds::Held>(&turn)) return *held;
    return std::nullopt;  // an attempt, dropped without a word
}

TEST(MeterHolds, EachFailureInARowHoldsTwiceAsLongUpToTheLongestAndAnAnswerEndsIt) {
    MeterHolds holds({30s, 5min});
    const std::string meter = "10.0.0.5:502/3";
    auto now = MeterHolds::Clock::now();
    const std::chrono::seconds expected_holds[] = {30s, 60s, 120s, 240s, 300s, 300s};
    int failures = 0;
    for (const auto hold : expected_holds) {
        auto turn = holds.start(meter, now);
        ASSERT_TRUE(std::holds_alternative<MeterHolds::Attempt>(turn)) << "failure " << failures;
        std::get<MeterHolds::Attempt>(turn).silent("no reply #" + std::to_string(++failures), now);

        const auto last_second = held(holds, meter, now + hold - 1s);
        ASSERT_TRUE(last_second) << "failure " << failures;
        EXPECT_EQ(last_second->left, 1s) << "failure " << failures;
        EXPECT_EQ(last_second->failures, failures);
        EXPECT_EQ(last_second->error, "no reply #" + std::to_string(failures));
        EXPECT_FALSE(held(holds, "10.0.0.5:502/2", now)) << "a neighbour is not held";
        now += hold;
    }

    // After the hold one probe asks the meter; the others are held while it does, and an
    // attempt that ends without a word (its client left) lets the next probe ask.
    {
        auto trial = holds.start(meter, now);
        ASSERT_TRUE(std::holds_alternative<MeterHolds::Attempt>(trial));
        const auto meanwhile = held(holds, meter, now);
        ASSERT_TRUE(meanwhile);
        EXPECT_EQ(meanwhile->left, 0s);
    }
    auto trial = holds.start(meter, now);
    ASSERT_TRUE(std::holds_alternative<MeterHolds::Attempt>(trial));
    std::get<MeterHolds::Attempt>(trial).answered();
    EXPECT_FALSE(held(holds, meter, now));

    // The count starts again: the next failure holds for the first hold.
    auto again = holds.start(meter, now);
    std::get<MeterHolds::Attempt>(again).silent("no reply", now);
    EXPECT_EQ(held(holds, meter, now)->left, 30s);
    EXPECT_EQ(held(holds, meter, now)->failures, 1);
}

}  // namespace
}  // namespace exporter_test
