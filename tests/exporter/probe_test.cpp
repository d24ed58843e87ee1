// SPDX-License-Identifier: MIT
// Probes of simulated meters: the values, the identity, the exposition format, a meter that
// does not answer, and a probe that must end within Prometheus's scrape time-out.
#include "exporter_process.hpp"

#include "support/api_call.hpp"

#include <kolvane.h>
#include <simulator.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <set>

namespace exporter_test {
namespace {

using nlohmann::json;

class Probe : public ::testing::Test {
protected:
    void SetUp() override { port_ = sim_.start(); }
    std::string target() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string options() const {
        return R"({"port":)" + std::to_string(port_) + R"(,"timeout_ms":3000})";
    }

    ksim::Simulator sim_{ksim::default_meter(ksim::Model::em235)};
    int port_ = 0;
};

TEST_F(Probe, ValuesAndIdentityEqualTheLibrarysDocumentsAndPassPromtool) {
    Exporter exporter({"--hosts", hosts_file({target() + " em235"})});
    const httplib::Response response = exporter.get("/probe?target=" + target());
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(response.get_header_value("Content-Type"),
              "text/plain; version=0.0.4; charset=utf-8");
    const cli_test::Outcome check = promtool_check(response.body);
    EXPECT_EQ(check.exit_status, 0) << check.out << check.err;

    const std::vector<Sample> samples = parse_samples(response.body);
    EXPECT_EQ(find_sample(samples, "kolvane_up")->value, 1);
    EXPECT_GT(find_sample(samples, "kolvane_probe_duration_seconds")->value, 0);
    EXPECT_EQ(find_sample(samples, "kolvane_probe_retries")->value, 0);

    const ktest::ApiResult live =
        ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_live_ex("127.0.0.1", "em235", options().c_str(), out, out_len, err,
                                        err_len);
        });
    ASSERT_EQ(live.status, 61) << live.err;
    std::map<std::string, json> reading_of;
    std::map<std::string, std::set<std::string>> units_of_family;
    const json readings = json::parse(live.out)["readings"];
    for (const json& reading : readings) {
        const std::string point = reading["name"];
        reading_of[point] = reading;
        std::vector<Sample> of_point;
        for (const Sample& sample : samples)
            if (sample.labels.count("point") && sample.labels.at("point") == point)
                of_point.push_back(sample);
        ASSERT_EQ(of_point.size(), 1u) << reading.dump();
        EXPECT_EQ(of_point[0].labels, (std::map<std::string, std::string>{{"point", point}}));
        units_of_family[of_point[0].name].insert(reading["unit"].get<std::string>());
    }
    for (const auto& [family, units] : units_of_family)
        EXPECT_EQ(units.size(), 1u) << family << " mixes units";

    // Each quantity in its own family and base unit: kW are watts, kWh watt-hours, % ratios.
    const struct {
        std::string point;
        std::string family;
        std::string type;
        double scale;
    } placements[] = {
        {"V1", "kolvane_voltage_volts", "gauge", 1},
        {"kW L1", "kolvane_power_watts", "gauge", 1000},
        {"Total PF", "kolvane_power_factor_ratio", "gauge", 1},
        {"V1 THD", "kolvane_harmonic_distortion_ratio", "gauge", 0.01},
        {"kWh import", "kolvane_energy_watthours_total", "counter", 1000},
        {"kvarh total", "kolvane_reactive_energy_varhours_total", "counter", 1000},
        {"kWh net", "kolvane_net_energy_watthours", "gauge", 1000},  // falls while exporting
    };
    for (const auto& p : placements) {
        const auto sample = find_sample(samples, p.family, {{"point", p.point}});
        ASSERT_TRUE(sample) << p.family << " lacks " << p.point;
        EXPECT_DOUBLE_EQ(sample->value, reading_of.at(p.point)["value"].get<double>() * p.scale)
            << p.point;
        EXPECT_NE(response.body.find("# TYPE " + p.family + " " + p.type + "\n"), std::string::npos)
            << p.family;
    }
    EXPECT_EQ(samples.size(), 61u + 4u);

    const ktest::ApiResult info =
        ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info("127.0.0.1", "em235", options().c_str(), out, out_len,
                                            err, err_len);
        });
    ASSERT_GT(info.status, 0) << info.err;
    const json identity = json::parse(info.out);
    const auto meter = find_sample(samples, "kolvane_meter_info");
    ASSERT_TRUE(meter);
    EXPECT_EQ(meter->labels, (std::map<std::string, std::string>{
                                 {"serial", std::to_string(identity["serial"].get<long>())},
                                 {"model", "em235"},
                                 {"model_name", identity["model_name"]},
                                 {"firmware", "2.3"},
                                 {"unit", "1"}}));
    EXPECT_EQ(meter->value, 1);
}

TEST_F(Probe, IdentityIsReadOnceKeptAfterAFailedLiveReadAndReadAgainAfterAFailedOne) {
    auto identity_reads = [&] {
        int reads = 0;
        for (const ksim::Request& request : sim_.journal())
            reads += request.address == ksim::IDENTITY_REGISTER;
        return reads;
    };
    auto up = [](const Exporter& exporter, const std::string& target) {
        return find_sample(parse_samples(exporter.get("/probe?target=" + target).body),
                           "kolvane_up")
            ->value;
    };
    {
        Exporter exporter({"--hosts", hosts_file({target() + " em235"})});
        EXPECT_EQ(up(exporter, target()), 1);
        EXPECT_EQ(up(exporter, target()), 1);
        sim_.add_fault(ksim::Fault::exception(4));  // the next request, a live one, fails
        EXPECT_EQ(up(exporter, target()), 0);
        sim_.clear_faults();
        EXPECT_EQ(up(exporter, target()), 1);
        EXPECT_EQ(identity_reads(), 1);
    }
    sim_.clear_journal();
    Exporter exporter({"--hosts", hosts_file({target() + " em235"})});
    sim_.add_fault(ksim::Fault::exception(4).nth(1));  // the identity read fails ...
    EXPECT_EQ(up(exporter, target()), 0);
    EXPECT_EQ(up(exporter, target()), 1);  // ... and is made again
    EXPECT_EQ(identity_reads(), 2);
}

// A meter too slow for its identity and live values within one scrape, but fast enough for the
// live values alone: the first probe reads the identity and runs out of budget, every later one
// is up. Scaled down: 80 ms a request, about 1.8 s for the live values, 3.4 s for both.
TEST_F(Probe, ASlowMeterIsUpAfterItsFirstProbe) {
    sim_.set_latency(std::chrono::milliseconds(80));
    Exporter exporter({"--hosts", hosts_file({target() + " em235"})});
    const httplib::Headers scrape{{"X-Prometheus-Scrape-Timeout-Seconds", "3"}};  // 2700 ms
    exporter.get("/probe?target=" + target(), scrape);
    for (int scrape_no = 2; scrape_no <= 4; ++scrape_no) {
        const httplib::Response response = exporter.get("/probe?target=" + target(), scrape);
        EXPECT_EQ(find_sample(parse_samples(response.body), "kolvane_up")->value, 1)
            << "scrape " << scrape_no;
    }
    const std::string log = exporter.stop().err;
    EXPECT_EQ(log.find("failed"), log.rfind("failed")) << log;  // the first probe alone
}

TEST_F(Probe, LabelValuesAreEscaped) {
    ksim::Identity identity = *ksim::default_meter(ksim::Model::em235).identity;
    identity.model_name = "A \"B\" \\C";
    sim_.set_identity(identity);
    Exporter exporter({"--hosts", hosts_file({target() + " em235"})});
    const httplib::Response response = exporter.get("/probe?target=" + target());
    ASSERT_EQ(response.status, 200);
    EXPECT_NE(response.body.find(R"(model_name="A \"B\" \\C")"), std::string::npos)
        << response.body;
    EXPECT_NE(response.body.find(R"(kolvane_energy_watthours_total{point="kWh import"})"),
              std::string::npos);
    const cli_test::Outcome check = promtool_check(response.body);
    EXPECT_EQ(check.exit_status, 0) << check.out << check.err;
    EXPECT_EQ(
        find_sample(parse_samples(response.body), "kolvane_meter_info")->labels.at("model_name"),
        identity.model_name);
}

TEST_F(Probe, AMeterThatDoesNotAnswerGivesUpZeroAndALoggedReason) {
    const int closed = cli_test::closed_port();
    const std::string target = "127.0.0.1:" + std::to_string(closed);
    Exporter exporter({"--hosts", hosts_file({target + " em133"})});
    const httplib::Response response = exporter.get("/probe?target=" + target);
    ASSERT_EQ(response.status, 200);
    const std::vector<Sample> samples = parse_samples(response.body);
    EXPECT_EQ(find_sample(samples, "kolvane_up")->value, 0);
    EXPECT_EQ(samples.size(), 3u);  // up, the duration and the retries, nothing else
    EXPECT_EQ(promtool_check(response.body).exit_status, 0);

    const std::vector<Sample> own = parse_samples(exporter.get("/metrics").body);
    EXPECT_EQ(find_sample(own, "kolvane_exporter_probes_total")->value, 1);
    EXPECT_EQ(find_sample(own, "kolvane_exporter_probe_failures_total")->value, 1);
    const cli_test::Outcome stopped = exporter.stop();
    EXPECT_EQ(stopped.exit_status, 0);
    EXPECT_NE(stopped.err.find("kolvane: probe of " + target +
                               " unit 1 failed: Cannot connect to 127.0.0.1:"),
              std::string::npos)
        << stopped.err;
}

TEST_F(Probe, EndsWithinTheScrapeTimeOutAndTheLongestProbeTime) {
    sim_.add_fault(ksim::Fault::no_reply());  // a meter that accepts and never answers
    const struct {
        std::string header;
        std::string max_probe_time;
        int budget_ms;
    } cases[] = {
        {"1.5", "30", 1500 - 150}, {"86400", "2", 2000},  // the client cannot buy a longer hold
    };
    for (const auto& c : cases) {
        Exporter exporter({"--hosts", hosts_file({target() + " em235"}), "-t", "20000",
                           "--max-probe-time", c.max_probe_time});
        const auto start = std::chrono::steady_clock::now();
        const httplib::Response response = exporter.get(
            "/probe?target=" + target(), {{"X-Prometheus-Scrape-Timeout-Seconds", c.header}});
        const auto elapsed = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(response.status, 200);
        EXPECT_EQ(find_sample(parse_samples(response.body), "kolvane_up")->value, 0);
        EXPECT_LT(elapsed, std::chrono::milliseconds(c.budget_ms + 1000)) << c.header;
        const std::string log = exporter.stop().err;
        EXPECT_NE(
            log.find("failed: probe budget of " + std::to_string(c.budget_ms) + " ms exceeded\n"),
            std::string::npos)
            << log;
    }
}

TEST(Ipv6, AListedMeterOnAnIpv6AddressIsProbed) {
    ksim::Simulator sim(ksim::default_meter(ksim::Model::em133));
    const std::string port = std::to_string(sim.start(0, "::1"));
    // The hosts file and the probe may write the address differently.
    Exporter exporter({"--hosts", hosts_file({"[0:0:0:0:0:0:0:1]:" + port + " em133"})});
    const httplib::Response response = exporter.get("/probe?target=[::1]:" + port);
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(find_sample(parse_samples(response.body), "kolvane_up")->value, 1);
}

TEST(Pages, MetricsPassPromtoolAndTheFrontPageLinksThePagesAndShowsTheScrapeConfiguration) {
    Exporter exporter({"--allow-any-target"});
    const httplib::Response metrics = exporter.get("/metrics");
    ASSERT_EQ(metrics.status, 200);
    const cli_test::Outcome check = promtool_check(metrics.body);
    EXPECT_EQ(check.exit_status, 0) << check.out << check.err;
    const auto build = find_sample(parse_samples(metrics.body), "kolvane_exporter_build_info");
    ASSERT_TRUE(build);
    EXPECT_EQ(build->labels.at("library_version"), kolvane_version());

    const httplib::Response page = exporter.get("/");
    ASSERT_EQ(page.status, 200);
    for (const char* linked : {"/metrics", "/-/healthy", "/-/ready"}) {
        EXPECT_NE(page.body.find("href=\"" + std::string(linked) + "\""), std::string::npos);
        EXPECT_EQ(exporter.get(linked).status, 200) << linked;
    }
    // The README's configuration, pointing at this exporter.
    EXPECT_NE(page.body.find("<pre>" + readme_scrape_config(exporter.address()) + "</pre>"),
              std::string::npos)
        << page.body;
}

}  // namespace
}  // namespace exporter_test
