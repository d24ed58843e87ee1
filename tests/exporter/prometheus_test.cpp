// SPDX-License-Identifier: MIT
// End to end: a real Prometheus server scrapes a simulated meter through the exporter with the
// multi-target relabelling of the README, and its query API gives back the meter's V1.
#include "exporter_process.hpp"

#include "support/api_call.hpp"

#include <kolvane.h>
#include <simulator.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

}  // namespace
}  // namespace exporter_test
