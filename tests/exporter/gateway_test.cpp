// SPDX-License-Identifier: MIT
// Meters behind one Modbus gateway: listed by unit, probed one at a time with the gateway's
// pacing, a probe that cannot get its turn within its budget, and a meter that does not answer,
// held so that its neighbours keep their turns.
#include "exporter_process.hpp"

#include "support/site.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <optional>
#include <thread>

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

std::size_t requests_to(const ksim::Simulator& sim, int unit) {
    std::size_t count = 0;
    for (const ksim::Request& request : sim.journal()) count += request.unit == unit;
    return count;
}

// `text` with every "{T}" replaced by `gateway`.
std::string at_gateway(std::string text, const std::string& gateway) {
    for (std::size_t at = text.find("{T}"); at != std::string::npos; at = text.find("{T}", at))
        text.replace(at, 3, gateway);
    return text;
}

// Unit 3 of a gateway fails in each way that holds it; units 1 and 2 answer. After its first
// failure, rounds of scrapes find the neighbours up, on budgets shorter than a silent unit 3
// would hold the gateway for, and unit 3 answered from its failure without a request.
TEST(Gateway, AMeterThatDoesNotAnswerIsHeldAndItsNeighboursStayUp) {
    const struct {
        const char* name;
        bool meter_at_unit_3;
        std::optional<ksim::Fault> fault;  // on unit 3
        std::vector<std::string> flags;
        std::string cause;  // of the failure, "{T}" for the gateway
        double retries;     // of the failing probe
        std::string code;   // the Modbus exception retried
    } cases[] = {
        {"no reply within the time-out",
         true,
         ksim::Fault::no_reply().unit(3),
         {"-t", "1500"},
         "no reply from {T} (unit 3) within 1500 ms",
         0,
         ""},
        {"no reply within the budget",
         true,
         ksim::Fault::no_reply().unit(3),
         {},
         "probe budget of 2700 ms exceeded",
         0,
         ""},
        {"no meter at the unit",
         false,
         std::nullopt,
         {},
         "no meter answered at unit 3 behind {T}",
         1,
         "11"},
        {"gateway busy after every try",
         true,
         ksim::Fault::exception(6).unit(3),
         {},
         "gateway {T} busy after 3 tries: set gap=50",
         2,
         "6"},
    };
    const httplib::Headers slow_scrape{{"X-Prometheus-Scrape-Timeout-Seconds", "3"}};  // 2700 ms
    const httplib::Headers scrape{{"X-Prometheus-Scrape-Timeout-Seconds", "1.5"}};     // 1350 ms
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        collect_test::SiteGateway hall(
            ksim::Model::em133,
            c.meter_at_unit_3
                ? std::vector<collect_test::SiteGateway::Unit>{{1, 7101}, {2, 7102}, {3, 7103}}
                : std::vector<collect_test::SiteGateway::Unit>{{1, 7101}, {2, 7102}},
            2);
        if (c.fault) hall.sim().add_fault(*c.fault);
        const std::string t = hall.address();
        std::vector<std::string> args{
            "--hosts", hosts_file({t + " em133 unit=1", t + " em133 unit=2", t + " em133 unit=3"})};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        Exporter exporter(args);
        const std::string unit_3_probe = "/probe?target=" + t + "&unit=3";

        const std::vector<Sample> failed =
            parse_samples(exporter.get(unit_3_probe, slow_scrape).body);
        ASSERT_EQ(find_sample(failed, "kolvane_up")->value, 0);
        EXPECT_EQ(find_sample(failed, "kolvane_probe_retries")->value, c.retries);
        if (!c.code.empty()) {
            const auto by_code =
                find_sample(failed, "kolvane_probe_retried_exceptions", {{"code", c.code}});
            ASSERT_TRUE(by_code);
            EXPECT_EQ(by_code->value, c.retries);
        }
        const std::size_t asked = requests_to(hall.sim(), 3);

        for (int round = 1; round <= 3; ++round) {
            auto held = std::async(std::launch::async,
                                   [&] { return exporter.get(unit_3_probe, slow_scrape); });
            // The neighbours come while unit 3's probe talks to the gateway, if it does.
            while (held.wait_for(10ms) != std::future_status::ready &&
                   requests_to(hall.sim(), 3) == asked) {}
            std::vector<std::future<httplib::Response>> neighbours;
            for (const int unit : {1, 2})
                neighbours.push_back(std::async(std::launch::async, [&, unit] {
                    return exporter.get("/probe?target=" + t + "&unit=" + std::to_string(unit),
                                        scrape);
                }));
            for (auto& neighbour : neighbours) {
                const std::string body = neighbour.get().body;
                EXPECT_EQ(find_sample(parse_samples(body), "kolvane_up")->value, 1)
                    << "round " << round << ": " << body;
            }
            const std::vector<Sample> answer = parse_samples(held.get().body);
            EXPECT_EQ(find_sample(answer, "kolvane_up")->value, 0) << "round " << round;
            EXPECT_EQ(find_sample(answer, "kolvane_probe_duration_seconds")->value, 0);
            EXPECT_EQ(find_sample(answer, "kolvane_probe_retries")->value, 0);
        }
        EXPECT_EQ(requests_to(hall.sim(), 3), asked) << "unit 3 was asked while held";
        EXPECT_EQ(find_sample(parse_samples(exporter.get("/metrics").body),
                              "kolvane_exporter_probes_held_total")
                      ->value,
                  3);

        // The held probes report the failure as the probe that met it did.
        const std::string log = exporter.stop().err;
        const std::string failure = "kolvane: probe of " + t + " unit 3 failed: ";
        const std::size_t first = log.find(failure);
        ASSERT_NE(first, std::string::npos) << log;
        const std::string error =
            log.substr(first + failure.size(), log.find('\n', first) - first - failure.size());
        EXPECT_NE(error.find(at_gateway(c.cause, t)), std::string::npos) << error;
        int held_lines = 0;
        for (const std::string& line : cli_test::lines_of(log))
            held_lines +=
                line.starts_with(failure + error + " (held after 1 failure: tried again in ");
        EXPECT_EQ(held_lines, 3) << log;
    }
}

// A held meter is asked again once its hold has passed, and its answer ends the holding: the
// next failure counts as the first again.
TEST(Gateway, AHeldMeterIsAskedAgainAfterItsHold) {
    collect_test::SiteGateway hall(ksim::Model::em133, {{1, 7101}, {2, 7102}}, 2);
    const std::string t = hall.address();
    Exporter exporter({"--hosts", hosts_file({t + " em133"}), "-t", "300", "--hold", "1"});
    const std::string probe = "/probe?target=" + t + "&unit=2";
    auto up = [&] {
        return find_sample(parse_samples(exporter.get(probe).body), "kolvane_up")->value;
    };

    hall.sim().add_fault(ksim::Fault::no_reply().unit(2));
    EXPECT_EQ(up(), 0);
    const std::size_t asked = requests_to(hall.sim(), 2);
    EXPECT_EQ(up(), 0);  // held
    EXPECT_EQ(requests_to(hall.sim(), 2), asked);
    hall.sim().clear_faults();
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(up(), 1);
    hall.sim().add_fault(ksim::Fault::no_reply().unit(2));
    EXPECT_EQ(up(), 0);
    EXPECT_EQ(up(), 0);  // held again, after one failure in a row

    const std::string log = exporter.stop().err;
    EXPECT_EQ(log.find("(held after 2 failures"), std::string::npos) << log;
    int held_lines = 0;
    for (const std::string& line : cli_test::lines_of(log))
        held_lines += line.find("(held after 1 failure: tried again in 1 s)") != std::string::npos;
    EXPECT_EQ(held_lines, 2) << log;
}

}  // namespace
}  // namespace exporter_test
