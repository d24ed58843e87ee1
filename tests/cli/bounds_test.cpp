// SPDX-License-Identifier: MIT
// How long the tool waits for a meter: 5 s per wait by default, and a deadline for the whole
// call (10 x the time-out unless --deadline says otherwise), also for each meter of --hosts.
#include "served_meter.hpp"
#include "support/process.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>

namespace cli_test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(Bounds, ASilentMeterFailsAfterTheDefaultTimeOutOfFiveSeconds) {
    ServedMeter meter;
    meter.sim.add_fault(ksim::Fault::no_reply());
    const auto start = Clock::now();
    const Outcome r = run_tool({"info", "127.0.0.1", "-p", meter.port(), "-m", "em133"});
    const double took = seconds_since(start);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
    EXPECT_GE(took, 4.5);
    EXPECT_LT(took, 15.0);  // the library's own default would wait 30 s
}

// Every answer comes 300 ms late: each wait is within the time-out, the call as a whole is not.
TEST(Bounds, TheDeadlineEndsACallOfManySlowAnswers) {
    ServedMeter slow;
    slow.sim.add_fault(ksim::Fault::delay(milliseconds(300)));
    const auto start = Clock::now();
    const Outcome r = run_tool(
        {"live", "127.0.0.1", "-p", slow.port(), "-m", "em133", "-t", "1000", "--deadline", "1"});
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "kolvane: Deadline of 1000 ms exceeded\n");
}

TEST(Bounds, OneSlowMeterDoesNotHoldTheOthersOfAHostsFile) {
    ServedMeter healthy, slow;
    slow.sim.add_fault(ksim::Fault::delay(milliseconds(300)));
    const std::string path = fresh_dir("bounds_hosts") + "/meters.txt";
    std::ofstream(path) << "127.0.0.1:" << slow.port() << "\n127.0.0.1:" << healthy.port() << "\n";
    const auto start = Clock::now();
    const Outcome r =
        run_tool({"live", "--hosts", path, "-m", "em133", "-j", "2", "--deadline", "1"});
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_EQ(r.exit_status, 1);
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(nlohmann::json::parse(lines[0])["error"], "Deadline of 1000 ms exceeded");
    EXPECT_EQ(nlohmann::json::parse(lines[1])["readings"].size(), 55u);
}

}  // namespace
}  // namespace cli_test
