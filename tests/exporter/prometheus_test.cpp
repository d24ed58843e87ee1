// SPDX-License-Identifier: MIT
// End to end: a real Prometheus server scrapes simulated meters through the exporter with the
// README's configuration: its query API gives back a meter's V1, and each meter behind a gateway
// as an instance of its own.
#include "exporter_process.hpp"

#include "support/api_call.hpp"
#include "support/site.hpp"

#include <kolvane.h>
#include <simulator.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>

namespace exporter_test {
namespace {

using nlohmann::json;

TEST(Prometheus, ScrapesAMeterThroughTheExporter) {
    ksim::Simulator sim(ksim::default_meter(ksim::Model::em235));
    const std::string target = "127.0.0.1:" + std::to_string(sim.start());
    Exporter exporter({"--hosts", hosts_file({target + " em235"})});

    Prometheus prometheus({target}, exporter.address());

    json result;
    const bool scraped = Prometheus::wait_until([&] {
        result = prometheus.query(R"(kolvane_voltage_volts{point="V1"})").series;
        return !result.empty();
    });
    ASSERT_TRUE(scraped) << "Prometheus did not scrape the exporter within 60 s: "
                         << prometheus.stop();
    ASSERT_EQ(result.size(), 1u) << result;

    const ktest::ApiResult live =
        ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
            const std::string options = R"({"port":)" + target.substr(target.find(':') + 1) + "}";
            return kolvane_read_points("127.0.0.1", "em235", options.c_str(), "4352", out, out_len,
                                       err, err_len);
        });
    ASSERT_EQ(live.status, 1) << live.err;
    const json series = result[0];
    EXPECT_EQ(series["metric"]["instance"], target);
    EXPECT_EQ(series["metric"]["job"], "kolvane");
    EXPECT_EQ(series["metric"]["point"], "V1");
    EXPECT_EQ(std::stod(series["value"][1].get<std::string>()),
              json::parse(live.out)["readings"][0]["value"].get<double>());
}

// Four meters behind one gateway, each a target group with its unit: four instances
// HOST:PORT/UNIT, each with its own meter's serial.
TEST(Prometheus, EachMeterBehindAGatewayIsAnInstanceOfItsOwn) {
    collect_test::SiteGateway hall(ksim::Model::em235, {{1, 7101}, {2, 7102}, {3, 7103}, {4, 7104}},
                                   2);
    Exporter exporter({"--hosts", hosts_file(cli_test::lines_of(hall.hosts_lines()))});
    std::vector<ScrapeTarget> targets;
    std::map<std::string, std::string> serials;  // of each instance
    for (const auto& unit : hall.units()) {
        targets.push_back({hall.address(), unit.unit});
        serials[hall.address() + "/" + std::to_string(unit.unit)] = std::to_string(unit.serial);
    }
    Prometheus prometheus(targets, exporter.address());

    json up, info;
    const bool scraped = Prometheus::wait_until([&] {
        up = prometheus.query("kolvane_up").series;
        info = prometheus.query("kolvane_meter_info").series;
        return up.size() >= 4 && info.size() >= 4;
    });
    ASSERT_TRUE(scraped) << "Prometheus did not scrape four meters within 60 s: " << up << "\n"
                         << prometheus.stop();
    std::map<std::string, std::string> up_of, serial_of, all_up;
    for (const json& series : up)
        up_of[series["metric"]["instance"]] = series["value"][1].get<std::string>();
    for (const json& series : info) {
        const std::string instance = series["metric"]["instance"];
        EXPECT_EQ(instance, hall.address() + "/" + series["metric"]["unit"].get<std::string>());
        serial_of[instance] = series["metric"]["serial"];
    }
    for (const auto& [instance, serial] : serials) all_up[instance] = "1";
    EXPECT_EQ(up.size(), 4u) << up;
    EXPECT_EQ(up_of, all_up);
    EXPECT_EQ(serial_of, serials);
}

}  // namespace
}  // namespace exporter_test
