// SPDX-License-Identifier: MIT
// End to end: a real Prometheus server scrapes a simulated meter through the exporter with the
// multi-target relabelling of the README, and its query API gives back the meter's V1.
#include "exporter_process.hpp"

#include "support/api_call.hpp"

#include <kolvane.h>
#include <simulator.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <thread>

namespace exporter_test {
namespace {

using nlohmann::json;

TEST(Prometheus, ScrapesAMeterThroughTheExporter) {
    ksim::Simulator sim(ksim::default_meter(ksim::Model::em235));
    const std::string target = "127.0.0.1:" + std::to_string(sim.start());
    Exporter exporter({"--hosts", hosts_file({target + " em235"})});

    const std::string dir = cli_test::fresh_dir("prometheus");
    std::ofstream(dir + "/prometheus.yml") << "global:\n"
                                              "  scrape_interval: 1s\n"
                                              "  scrape_timeout: 1s\n"
                                              "scrape_configs:\n"
                                              "  - job_name: kolvane\n"
                                              "    metrics_path: /probe\n"
                                              "    static_configs:\n"
                                              "      - targets: ['"
                                           << target
                                           << "']\n"
                                              "    relabel_configs:\n"
                                              "      - source_labels: [__address__]\n"
                                              "        target_label: __param_target\n"
                                              "      - source_labels: [__param_target]\n"
                                              "        target_label: instance\n"
                                              "      - target_label: __address__\n"
                                              "        replacement: "
                                           << exporter.address() << "\n";
    const int port = cli_test::closed_port();
    cli_test::Process prometheus({PROMETHEUS, "--config.file=" + dir + "/prometheus.yml",
                                  "--storage.tsdb.path=" + dir + "/data",
                                  "--web.listen-address=127.0.0.1:" + std::to_string(port)});

    // Prometheus needs a moment to start and a scrape interval to take the first sample.
    httplib::Client client("127.0.0.1", port);
    json result;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (result.empty() && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto answer =
            client.Get("/api/v1/query?query=kolvane_voltage_volts%7Bpoint%3D%22V1%22%7D");
        if (answer && answer->status == 200) result = json::parse(answer->body)["data"]["result"];
    }
    ASSERT_EQ(result.size(), 1u) << "Prometheus did not scrape the exporter in time: "
                                 << prometheus.finish().err;

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
