// SPDX-License-Identifier: MIT
// Two meters on one serial line (a socat pseudo-terminal at 19200 baud): collections one after
// the other while the exporter probes both, all at once. The port opens in one process at a
// time, so each program holds it for its turn only: every pass is complete, every probe up.
#include "exporter_process.hpp"

#include "support/pty_pair.hpp"
#include "support/site.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;

TEST(SerialLine, CollectorAndExporterShareTheLineAndNothingIsLost) {
    collect_test::SiteGateway line(ksim::Model::em133, {{1, 7501}, {2, 7502}}, 20, 5);
    const ktest::PtyPair pty;
    line.sim().start_rtu_serial(pty.meter_end(), {19200, 'E', 1, false});
    const std::string device = "rtu:" + pty.client_end();
    const std::string site = hosts_file(
        {device + " em133 unit=1 baud=19200 name=\"Pump\"", device + " em133 unit=2 baud=19200"});
    Exporter exporter({"--hosts", site});

    // A serial meter the hosts file does not list is never probed: no scraper picks a device.
    EXPECT_EQ(exporter.get("/probe?target=rtu:/dev/ttyS0&unit=1&model=em133").status, 403);

    const std::string db = collect_test::fresh_sqlite_path();
    const auto until = std::chrono::steady_clock::now() + 30s;
    std::atomic<bool> collecting{true};
    std::atomic<int> probes{0}, down{0};
    std::thread scraper([&] {
        while (collecting) {
            for (int unit = 1; unit <= 2; ++unit) {
                const auto response =
                    exporter.get("/probe?target=" + device + "&unit=" + std::to_string(unit));
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
    int passes = 0;
    while (passes < 2 || std::chrono::steady_clock::now() < until) {
        const cli_test::Outcome pass = collect_test::collect({"--hosts", site, "--db", db});
        ++passes;
        EXPECT_EQ(pass.exit_status, 0) << pass.out << pass.err;
        for (const auto& summary : collect_test::summaries(pass.out)) {
            EXPECT_EQ(summary.value("complete", false), true) << summary;
            EXPECT_EQ(summary.value("transport", ""), "rtu") << summary;
        }
    }
    collecting = false;
    scraper.join();
    EXPECT_GE(probes, 10);
    EXPECT_EQ(down, 0);
    const auto stored = collect_test::open_sqlite(db);
    EXPECT_EQ(stored->number("SELECT count(*) FROM datalog_records") +
                  stored->number("SELECT count(*) FROM event_records"),
              2 * (3 * 20 + 5));
}

}  // namespace
}  // namespace exporter_test
