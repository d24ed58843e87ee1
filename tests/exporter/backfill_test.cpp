// SPDX-License-Identifier: MIT
// `kolvane backfill` end to end: a meter whose clock keeps Berlin's wall time across the autumn
// change is collected, its history written as OpenMetrics, turned into blocks by promtool and
// served by a real Prometheus from those blocks; and the command's argument errors.
#include "support/process.hpp"
#include "support/site.hpp"

#include "zone_clock.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

namespace exporter_test {
namespace {

using nlohmann::json;

constexpr std::int64_t AUTUMN_CHANGE = 1792890000;  // 2026-10-25T01:00:00Z, 03:00 CEST -> 02:00 CET

// A real Prometheus serving the blocks in `storage` and scraping nothing.
class PrometheusOnBlocks {
public:
    explicit PrometheusOnBlocks(const std::string& storage)
        : port_(cli_test::closed_port()), process_(argv(storage, port_)) {}
    ~PrometheusOnBlocks() { process_.signal(SIGTERM); }

    // The series of `promql` at `seconds` since 1970; nothing while the server is not answering.
    std::optional<json> query(const std::string& promql, std::int64_t seconds) const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(30, 0);
        const auto result = client.Post(
            "/api/v1/query", httplib::Params{{"query", promql}, {"time", std::to_string(seconds)}});
        if (!result || result->status != 200) return std::nullopt;
        return json::parse(result->body).at("data").at("result");
    }
    std::string stop() {
        process_.signal(SIGTERM);
        return process_.finish().err;
    }

private:
    static std::vector<std::string> argv(const std::string& storage, int port) {
        const std::string config = cli_test::fresh_dir("prometheus-blocks") + "/prometheus.yml";
        std::ofstream(config) << "global:\n  scrape_interval: 1m\n";
        return {PROMETHEUS, "--config.file=" + config, "--storage.tsdb.path=" + storage,
                "--web.listen-address=127.0.0.1:" + std::to_string(port)};
    }

    int port_;
    cli_test::Process process_;
};

TEST(Backfill, PrometheusServesTheLoggedValuesAtTheirTrueUtcTimesAcrossAClockChange) {
    // Two days of quarter hours, the autumn change among them: four wall times come twice.
    const std::int64_t end = AUTUMN_CHANGE + 120 * 900;
    ksim::Meter meter = ksim::default_meter(ksim::Model::em133, 192, end, 5,
                                            *ksim::zone_wall_clock("Europe/Berlin"));
    meter.identity->serial = 7811;
    ksim::Simulator sim(meter);
    const std::string instance = "127.0.0.1:" + std::to_string(sim.start());
    const std::string db = collect_test::fresh_sqlite_path();
    const auto collected =
        collect_test::collect({instance, "--only", "datalog", "--tz", "Europe/Berlin", "--db", db});
    ASSERT_EQ(collected.exit_status, 0) << collected.err;

    const std::string dir = cli_test::fresh_dir("backfill");
    const auto written = cli_test::run_tool({"backfill", "--db", db, "-o", dir + "/history.om"});
    ASSERT_EQ(written.exit_status, 0) << written.err;
    const auto blocks = cli_test::Process({PROMTOOL, "tsdb", "create-blocks-from", "openmetrics",
                                           dir + "/history.om", dir + "/data"})
                            .finish();
    ASSERT_EQ(blocks.exit_status, 0) << blocks.out << blocks.err;

    // --from and --to bound the true UTC times: [01:00Z, end) holds 120 of the records.
    const auto bounded = cli_test::run_tool(
        {"backfill", "--db", db, "--from", "2026-10-25T01:00:00Z", "--to", "2026-10-26T07:00"});
    ASSERT_EQ(bounded.exit_status, 0) << bounded.err;
    int bounded_v1 = 0;
    for (const std::string& line : cli_test::lines_of(bounded.out))
        bounded_v1 += line.starts_with(R"(kolvane_voltage_volts{instance=")" + instance +
                                       R"(",job="kolvane",point="V1"} )");
    EXPECT_EQ(bounded_v1, 120);
    EXPECT_TRUE(bounded.out.ends_with("# EOF\n"));

    // The database's V1 and kWh import, by true UTC time.
    std::map<std::int64_t, double> volts, watthours;
    for (const auto& row : collect_test::open_sqlite(db)->rows(
             "SELECT recorded_at, name, value FROM datalog_values WHERE file_id = 1 AND name IN "
             "('V1', 'kWh import')"))
        (row[1] == "V1" ? volts : watthours)[collect_test::epoch_of(row[0])] = std::stod(row[2]);
    ASSERT_EQ(volts.size(), 192u);
    ASSERT_EQ(volts.rbegin()->first, end);

    PrometheusOnBlocks prometheus(dir + "/data");
    const std::string v1 = R"(kolvane_voltage_volts{point="V1"})";
    bool ready = false;
    for (int i = 0; i < 120 && !ready; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ready = prometheus.query(v1, end).has_value();
    }
    ASSERT_TRUE(ready) << "Prometheus did not answer within 60 s: " << prometheus.stop();

    const json last = *prometheus.query(v1, end);
    ASSERT_EQ(last.size(), 1u) << last;
    EXPECT_EQ(last[0]["metric"], (json{{"__name__", "kolvane_voltage_volts"},
                                       {"instance", instance},
                                       {"job", "kolvane"},
                                       {"point", "V1"}}));
    // Every record at its own UTC second, the repeated wall hour included; a second before it
    // the previous record is more than Prometheus's five minutes of look-back away.
    for (const auto& [seconds, value] : volts) {
        const json at = *prometheus.query(v1, seconds);
        ASSERT_EQ(at.size(), 1u) << seconds;
        EXPECT_EQ(std::stod(at[0]["value"][1].get<std::string>()), value) << seconds;
        EXPECT_TRUE(prometheus.query(v1, seconds - 1)->empty()) << seconds;
    }
    // Energies in watt-hours, as the exporter serves them.
    for (const std::int64_t seconds : {AUTUMN_CHANGE - 900, AUTUMN_CHANGE, end}) {
        const json energy =
            *prometheus.query(R"(kolvane_energy_watthours_total{point="kWh import"})", seconds);
        ASSERT_EQ(energy.size(), 1u) << energy;
        EXPECT_DOUBLE_EQ(std::stod(energy[0]["value"][1].get<std::string>()),
                         watthours.at(seconds) * 1000)
            << seconds;
    }
}

// Bad arguments are usage errors (2) and a database that cannot be read a failure (1), each
// with its reason on one line, and no file written.
TEST(Backfill, ArgumentErrorsAndUnreadableDatabases) {
    const std::string dir = cli_test::fresh_dir("backfill-errors");
    // A SQLite database of another program.
    const std::string not_kolvane = dir + "/other.db";
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(not_kolvane.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TABLE other(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    const std::string db = dir + "/site.db";  // the usage errors are found before it is opened
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* reason;
    };
    const std::vector<Case> cases{
        {{"--db", db, "--from", "yesterday"}, 2, "--from"},
        {{"--db", db, "--to", "2026-02-30"}, 2, "--to"},
        {{"--db", db, "--from", "2026-03-02", "--to", "2026-03-01"}, 2, "earlier"},
        {{"--db", db, "--serial", "0"}, 2, "--serial"},
        {{"--db", ":memory:"}, 2, "--db"},
        {{"--db", db, "-o", db}, 2, "database itself"},
        {{"--db", dir + "/missing/site.db"}, 1, "site.db"},
        {{"--db", not_kolvane}, 1, "kolvane"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"backfill"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (std::find(args.begin(), args.end(), "-o") == args.end())
            args.insert(args.end(), {"-o", dir + "/out.om"});
        const cli_test::Outcome outcome = cli_test::run_tool(args);
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(outcome.exit_status, c.status) << what << outcome.err;
        const auto lines = cli_test::lines_of(outcome.err);
        ASSERT_FALSE(lines.empty()) << what;
        EXPECT_NE(lines[0].find(c.reason), std::string::npos) << what << outcome.err;
        if (c.status == 1) {
            EXPECT_EQ(lines.size(), 1u) << what << outcome.err;
        }
        EXPECT_FALSE(std::ifstream(dir + "/out.om").good()) << what;
    }
}

}  // namespace
}  // namespace exporter_test
