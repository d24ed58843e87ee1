// SPDX-License-Identifier: MIT
// scan: the meters behind a simulated gateway, as the lines of a hosts file.
#include "support/process.hpp"
#include "support/site.hpp"

#include "simulator.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli_test {
namespace {

// A meter of `model` with a serial of its own, as each meter of a site has.
ksim::Meter meter_of(ksim::Model model, std::uint32_t serial) {
    ksim::Meter meter = ksim::default_meter(model, 5);
    meter.identity->serial = serial;
    return meter;
}

TEST(Scan, FindsExactlyTheUnitsThatAnswerAsMeters) {
    ksim::Simulator gateway(ksim::Model::em133);
    for (const auto& [unit, model] :
         {std::pair{2, ksim::Model::em133}, {5, ksim::Model::em133}, {9, ksim::Model::em235}})
        gateway.add_unit(static_cast<std::uint8_t>(unit), meter_of(model, 100 + unit));
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

// Four meters behind a gateway that answers busy to a request sooner than 40 ms after its last
// reply and takes 20 ms over each answer, as a slow RS-485 gateway does.
std::unique_ptr<ksim::Simulator> paced_gateway() {
    auto gateway = std::make_unique<ksim::Simulator>();
    for (std::uint8_t unit = 1; unit <= 4; ++unit)
        gateway->add_unit(unit, meter_of(ksim::Model::em133, 100 + unit));
    gateway->set_latency(std::chrono::milliseconds(20));
    gateway->set_min_gap(std::chrono::milliseconds(40));
    return gateway;
}

// The tool sends each request as soon as the one before was answered, and the busy answers are
// sent again after a pause, so the scan finds every meter; with one try the units stay busy and
// the scan says so, names them and fails, unless the request gap is set.
TEST(Scan, ABusyGatewayIsAskedAgainOrItsUnitsAreNamed) {
    const struct {
        std::vector<std::string> options;
        bool complete;
    } cases[] = {
        {{}, true},
        {{"--tries", "1"}, false},
        {{"--gap", "60"}, true},
        {{"--gap", "60", "--tries", "1"}, true},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<ksim::Simulator> gateway = paced_gateway();
        const std::string address = "127.0.0.1:" + std::to_string(gateway->start());
        std::vector<std::string> args{"scan", address, "--units", "1-5"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        SCOPED_TRACE(testing::PrintToString(c.options));
        const Outcome r = run_tool(args);
        if (c.complete) {
            EXPECT_EQ(r.exit_status, 0) << r.err;
            std::string meters;
            for (int unit = 1; unit <= 4; ++unit)
                meters += address + " em133 unit=" + std::to_string(unit) + "\n";
            EXPECT_EQ(r.out, meters + "# " + address + ": 4 meters among 5 unit ids 1-5\n");
            continue;
        }
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.out, "# " + address + ": 0 meters among 5 unit ids 1-5\n# " + address +
                             ": no sure answer from 5 unit ids 1-5 (busy, silent or refused by "
                             "the gateway): set --gap 50 and scan them again\n");
        // Each unit's failure on standard error.
        const std::vector<std::string> warnings = lines_of(r.err);
        ASSERT_EQ(warnings.size(), 5u) << r.err;
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_TRUE(
                warnings[i].starts_with("kolvane: warning: unit " + std::to_string(i + 1) + ": ") &&
                warnings[i].ends_with(" busy after 1 try: set gap=50"))
                << warnings[i];
    }
}

// A unit that stays silent is empty on a meter that answers its own unit id only; behind a
// gateway (one that answers exception 11 for an empty unit id, or several meters) it missed its
// request, as does a unit the gateway answers exception 10 for.
TEST(Scan, ASilentUnitIsEmptyOnlyWithoutAGatewayInFront) {
    const struct {
        const char* what;
        std::vector<int> units;  // meters behind the gateway; none: one meter on unit 1
        std::optional<ksim::Fault> fault;
        std::vector<int> found;
        std::string unsure;  // the unit ids named, empty when none
    } cases[] = {
        {"one meter, silent for other unit ids", {}, std::nullopt, {1}, ""},
        {"a unit silent behind a gateway",
         {1, 2, 3},
         ksim::Fault::no_reply().unit(2),
         {1, 3},
         "1 unit id 2"},
        {"a gateway without a path to a unit",
         {1, 3},
         ksim::Fault::exception(10).unit(3),
         {1},
         "1 unit id 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ksim::Simulator sim(ksim::default_meter(ksim::Model::em133, 5));
        if (c.units.empty()) sim.answer_only_unit(1);
        for (const int unit : c.units)
            sim.add_unit(static_cast<std::uint8_t>(unit), meter_of(ksim::Model::em133, 100 + unit));
        if (c.fault) sim.add_fault(*c.fault);
        const std::string address = "127.0.0.1:" + std::to_string(sim.start());
        const Outcome r = run_tool({"scan", address, "--units", "1-4", "-t", "300"});
        std::string expected;
        for (const int unit : c.found)
            expected += address + " em133 unit=" + std::to_string(unit) + "\n";
        expected += "# " + address + ": " + std::to_string(c.found.size()) + " meter" +
                    (c.found.size() == 1 ? "" : "s") + " among 4 unit ids 1-4\n";
        if (!c.unsure.empty())
            expected += "# " + address + ": no sure answer from " + c.unsure +
                        " (busy, silent or refused by the gateway): set --gap 50 and scan them "
                        "again\n";
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.exit_status, c.unsure.empty() ? 0 : 1) << r.err;
    }
}

// A device that answers several unit ids as one meter (one serial) is listed once, at the first
// of them, with a warning and the summary naming the others, so that its output collects
// without errors. Before, it was listed at every unit id, and each line after the first failed
// the collection as a meter already stored at another address.
TEST(Scan, AMeterAnsweringAtSeveralUnitIdsIsListedOnce) {
    const struct {
        const char* what;
        std::vector<std::pair<int, std::uint32_t>> units;  // unit, serial; none: one meter, all
        std::vector<int> listed;
        std::string repeated;  // in the summary
        std::string warnings;
    } cases[] = {
        {"every unit id one meter",
         {},
         {1},
         ", 4 unit ids 2-5 answering as a meter listed above",
         "kolvane: warning: the meter at unit 1 (serial 1201784) also answered at unit ids 2-5: "
         "listed once\n"},
        {"two meters twice each",
         {{2, 11}, {3, 12}, {4, 11}, {5, 12}},
         {2, 3},
         ", 2 unit ids 4-5 answering as a meter listed above",
         "kolvane: warning: the meter at unit 2 (serial 11) also answered at unit id 4: listed "
         "once\nkolvane: warning: the meter at unit 3 (serial 12) also answered at unit id 5: "
         "listed once\n"},
        {"a meter each", {{2, 11}, {4, 12}}, {2, 4}, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ksim::Simulator sim(ksim::default_meter(ksim::Model::em133, 5));
        for (const auto& [unit, serial] : c.units)
            sim.add_unit(static_cast<std::uint8_t>(unit), meter_of(ksim::Model::em133, serial));
        const std::string address = "127.0.0.1:" + std::to_string(sim.start());
        const Outcome r = run_tool({"scan", address, "--units", "1-5", "-t", "300"});
        std::string listed;
        for (const int unit : c.listed)
            listed += address + " em133 unit=" + std::to_string(unit) + "\n";
        EXPECT_EQ(r.out, listed + "# " + address + ": " + std::to_string(c.listed.size()) +
                             " meter" + (c.listed.size() == 1 ? "" : "s") +
                             " among 5 unit ids 1-5" + c.repeated + "\n");
        EXPECT_EQ(r.err, c.warnings);
        EXPECT_EQ(r.exit_status, 0);
        // The output collects as a hosts file: every meter once, none refused.
        const Outcome pass =
            collect_test::collect({"--hosts", collect_test::hosts_file(r.out), "--db",
                                   collect_test::fresh_sqlite_path(), "--only", "live"});
        EXPECT_EQ(pass.exit_status, 0) << pass.out << pass.err;
        EXPECT_EQ(collect_test::summaries(pass.out).size(), c.listed.size());
    }
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
