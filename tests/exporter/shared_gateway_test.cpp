// SPDX-License-Identifier: MIT
// Three programs at one gateway that answers busy to a request too soon after its last reply:
// the exporter scraped twice a second, collections one after the other and a scan, all at once.
// Taking turns across the machine with the gateway's gap, none is answered busy: every pass is
// complete, every probe up, and the database holds what the meters hold.
#include "exporter_process.hpp"

#include "support/site.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;

TEST(SharedGateway, CollectorExporterAndScanTakeTurnsAndNothingIsLost) {
    collect_test::SiteGateway hall(ksim::Model::em133, {{1, 7401}, {2, 7402}}, 20, 5);
    hall.sim().set_latency(5ms);
    hall.sim().set_min_gap(20ms);
    const std::string t = hall.address();
    const std::string site = hosts_file({t + " em133 unit=1 gap=25", t + " em133 unit=2 gap=25"});
    Exporter exporter({"--hosts", site});
    const std::string db = collect_test::fresh_sqlite_path();

    // A first pass and resumed ones, for 15 s at least, while the exporter is scraped.
    const auto until = std::chrono::steady_clock::now() + 15s;
    std::atomic<bool> collecting{true};
    std::atomic<int> probes{0}, down{0};
    std::thread scraper([&] {
        while (collecting) {
            for (int unit = 1; unit <= 2; ++unit) {
                const auto response =
                    exporter.get("/probe?target=" + t + "&unit=" + std::to_string(unit));
                const auto up = find_sample(parse_samples(response.body), "kolvane_up");
                ++probes;
                if (!up || up->value != 1) {
                    ++down;
                    ADD_FAILURE() << "unit " << unit << " down:\n" << response.body;
                }
            }
            std::this_thread::sleep_for(500ms);
        }
    });
    std::thread scanner([&] {
        const cli_test::Outcome scan =
            cli_test::run_tool({"scan", t, "--units", "1-3", "--gap", "25", "-t", "500"});
        EXPECT_EQ(scan.out.find("no sure answer"), std::string::npos) << scan.out;
        EXPECT_NE(scan.out.find("2 meters among 3 unit ids"), std::string::npos) << scan.out;
    });
    int passes = 0;
    while (passes < 2 || std::chrono::steady_clock::now() < until) {
        const cli_test::Outcome pass = collect_test::collect({"--hosts", site, "--db", db});
        ++passes;
        EXPECT_EQ(pass.exit_status, 0) << pass.out << pass.err;
        for (const auto& line : collect_test::summaries(pass.out)) {
            EXPECT_EQ(line.value("complete", false), true) << line;
            EXPECT_FALSE(line.contains("retries")) << "answered busy: " << line;
        }
    }
    collecting = false;
    scraper.join();
    scanner.join();
    EXPECT_GE(probes, 10);
    EXPECT_EQ(down, 0);
    const std::vector<ksim::Request> journal = hall.sim().journal();
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(),
                            [](const ksim::Request& r) { return r.exception == 6; }),
              0)
        << "requests answered busy";
    const auto stored = collect_test::open_sqlite(db);
    EXPECT_EQ(stored->number("SELECT count(*) FROM datalog_records") +
                  stored->number("SELECT count(*) FROM event_records"),
              2 * (3 * 20 + 5));
}

}  // namespace
}  // namespace exporter_test
