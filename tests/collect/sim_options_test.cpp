// SPDX-License-Identifier: MIT
// kolvane-sim options the collector's tests and demo rely on.
#include "support/site.hpp"

#include <gtest/gtest.h>

namespace collect_test {
namespace {

TEST(SimOptions, RecordCountsAMeterCannotAnnounceAreRefused) {
    for (const char* count : {"65536", "70000"}) {
        cli_test::Process sim({KOLVANE_SIM, "--records", count});
        const Outcome outcome = sim.finish();
        EXPECT_EQ(outcome.exit_status, 2) << count;
        EXPECT_EQ(outcome.err,
                  "kolvane-sim: --records must be 0-65535: a meter announces at most 65535 records "
                  "per log\n");
    }
}

TEST(SimOptions, SerialMakesMetersDistinct) {
    const cli_test::Simulator sim({"--records", "65535", "--serial", "4242"});
    ASSERT_NE(sim.port(), 0);
    const Outcome info =
        cli_test::run_tool({"info", "127.0.0.1", "-m", "em133", "-p", sim.port_text()});
    ASSERT_EQ(info.exit_status, 0) << info.err;
    EXPECT_EQ(nlohmann::json::parse(info.out).at("serial"), 4242);
    const Outcome logs =
        cli_test::run_tool({"logs", "127.0.0.1", "-m", "em133", "-p", sim.port_text()});
    EXPECT_EQ(nlohmann::json::parse(logs.out).at("logs").at(1).at("records"), 65535);
}

}  // namespace
}  // namespace collect_test
