// SPDX-License-Identifier: MIT
// scan: the meters behind a simulated gateway, as the lines of a hosts file.
#include "support/process.hpp"

#include "simulator.hpp"

#include <gtest/gtest.h>

namespace cli_test {
namespace {

TEST(Scan, FindsExactlyTheUnitsThatAnswerAsMeters) {
    ksim::Simulator gateway(ksim::Model::em133);
    for (const auto& [unit, model] :
         {std::pair{2, ksim::Model::em133}, {5, ksim::Model::em133}, {9, ksim::Model::em235}})
        gateway.add_unit(static_cast<std::uint8_t>(unit), ksim::default_meter(model, 5));
    const std::string address = "127.0.0.1:" + std::to_string(gateway.start());

    const Outcome r = run_tool({"scan", address, "--units", "1-12", "-t", "300"});
    EXPECT_EQ(r.exit_status, 0) << r.err;
    EXPECT_EQ(r.out, address + " em133 unit=2\n" + address + " em133 unit=5\n" + address +
                         " em235 unit=9\n# " + address + ": 3 meters among 12 unit ids 1-12\n");
    for (const ksim::Request& request : gateway.journal()) {
        EXPECT_GE(request.unit, 1);
        EXPECT_LE(request.unit, 12);
    }

    const Outcome none = run_tool({"scan", address, "--units", "20"});
    EXPECT_EQ(none.exit_status, 1);
    EXPECT_EQ(none.out, "# " + address + ": 0 meters among 1 unit id 20-20\n");
}

TEST(Scan, AnAddressThatRefusesEndsTheScanAtOnce) {
    const std::string address = "127.0.0.1:" + std::to_string(closed_port());
    const Outcome r = run_tool({"scan", address});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "kolvane: gateway " + address + " unreachable: Cannot connect to " + address + "\n");
}

TEST(Scan, BadUnitRangesAreUsageErrors) {
    for (const char* units : {"5-2", "256", "1-300", "a", "-3", ""}) {
        const Outcome r = run_tool({"scan", "127.0.0.1:1", "--units", units});
        EXPECT_EQ(r.exit_status, 2) << units;
        EXPECT_EQ(r.out, "") << units;
    }
}

}  // namespace
}  // namespace cli_test
