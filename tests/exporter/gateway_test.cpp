// SPDX-License-Identifier: MIT
// Meters behind one Modbus gateway: listed by unit, probed one at a time with the gateway's
// pacing, and a probe that cannot get its turn within its budget.
#include "exporter_process.hpp"

#include "support/site.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

TEST(Gateway, ProbesOfOneGatewayTakeTurnsWithItsPacing) {
    collect_test::SiteGateway hall(ksim::Model::em235, {{1, 7101}, {2, 7102}, {3, 7103}}, 2);
    hall.sim().set_latency(5ms);
    hall.sim().set_min_gap(10ms);  // a request sooner after the last reply gets exception 6
    const std::string t = hall.address();
    // Units 1 and 2 name their gap, unit 3 takes --gap.
    Exporter exporter({"--hosts",
                       hosts_file({t + " em235 unit=1 name=\"Hall 1\" gap=15",
                                   t + " em235 unit=2 name=\"Hall 2\" gap=15",
                                   t + " em235 unit=3 name=\"Hall 3\""}),
                       "--gap", "15"});
    std::vector<std::future<httplib::Response>> probes;
    for (int unit = 1; unit <= 3; ++unit)
        probes.push_back(std::async(std::launch::async, [&, unit] {
            return exporter.get("/probe?target=" + t + "&unit=" + std::to_string(unit));
        }));
    for (int unit = 1; unit <= 3; ++unit) {
        const httplib::Response response = probes[unit - 1].get();
        ASSERT_EQ(response.status, 200);
        const std::vector<Sample> samples = parse_samples(response.body);
        ASSERT_EQ(find_sample(samples, "kolvane_up")->value, 1) << response.body;
        const auto meter = find_sample(samples, "kolvane_meter_info");
        ASSERT_TRUE(meter);
        EXPECT_EQ(meter->labels.at("serial"), std::to_string(7100 + unit));
        EXPECT_EQ(meter->labels.at("unit"), std::to_string(unit));
        EXPECT_EQ(meter->labels.at("name"), "Hall " + std::to_string(unit));
    }

    // Each connection's requests, first to last, lie outside every other connection's.
    // Checking each against the one accepted before suffices: disjoint neighbours in a row are
    // all disjoint.
    std::map<std::uint64_t, std::pair<Time, Time>> spans;
    for (const ksim::Request& request : hall.sim().journal())
        spans.try_emplace(request.connection, request.received, request.received)
            .first->second.second = request.received;
    ASSERT_GE(spans.size(), 3u);
    for (auto it = std::next(spans.begin()); it != spans.end(); ++it)
        EXPECT_GT(it->second.first, std::prev(it)->second.second)
            << "connection " << it->first << " overlapped the one before";

    const httplib::Response unlisted = exporter.get("/probe?target=" + t + "&unit=4&model=em235");
    EXPECT_EQ(unlisted.status, 403);
    EXPECT_EQ(unlisted.body, "target " + t + " unit 4 is not in the hosts file\n");
}

TEST(Gateway, AProbeThatGetsNoTurnWithinItsBudgetFailsWithoutTraffic) {
    ksim::Simulator sim(ksim::default_meter(ksim::Model::em133));
    const std::string t = "127.0.0.1:" + std::to_string(sim.start());
    sim.add_fault(ksim::Fault::delay(4000ms).nth(1));
    Exporter exporter({"--hosts", hosts_file({t + " em133"})});
    auto slow = std::async(std::launch::async, [&] { return exporter.get("/probe?target=" + t); });
    ASSERT_TRUE(sim.wait_for_requests(1));  // the first probe holds the gateway

    const httplib::Response waited =
        exporter.get("/probe?target=" + t, {{"X-Prometheus-Scrape-Timeout-Seconds", "1.5"}});
    EXPECT_EQ(slow.wait_for(0s), std::future_status::timeout);  // answered within its own budget
    EXPECT_EQ(sim.connections_accepted(), 1u);
    EXPECT_EQ(find_sample(parse_samples(waited.body), "kolvane_up")->value, 0);
    EXPECT_EQ(find_sample(parse_samples(slow.get().body), "kolvane_up")->value, 1);
    EXPECT_NE(exporter.stop().err.find("kolvane: probe of " + t + " unit 1 failed: gateway " + t +
                                       " busy for the whole budget of 1350 ms\n"),
              std::string::npos);
}

}  // namespace
}  // namespace exporter_test
