// SPDX-License-Identifier: MIT
// Meters whose clocks keep Berlin's wall time: the collector stores true UTC times, exactly as
// far apart as the meter recorded them, across both changes of the clock, across a pass that
// ends inside the hour an autumn change repeats, and when a zone given later converts them again.
#include "support/site.hpp"

#include "zone_clock.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <set>

namespace collect_test {
namespace {

constexpr std::int64_t AUTUMN_CHANGE = 1792890000;  // 2026-10-25T01:00:00Z, 03:00 CEST -> 02:00 CET
constexpr std::int64_t SPRING_CHANGE = 1774746000;  // 2026-03-29T01:00:00Z, 02:00 CET -> 03:00 CEST

// The first data log as stored: UTC seconds and the meter's wall time, in recording order.
std::vector<std::pair<std::int64_t, std::string>> stored_log(const std::string& path) {
    std::vector<std::pair<std::int64_t, std::string>> log;
    for (const auto& row : open_sqlite(path)->rows(
             "SELECT recorded_at, meter_time FROM datalog_records WHERE file_id = 1 ORDER BY seq"))
        log.emplace_back(epoch_of(row[0]), row[1]);
    return log;
}

Outcome collect_berlin(ksim::Simulator& sim, const std::string& path) {
    return collect({"127.0.0.1:" + std::to_string(sim.port()), "--only", "datalog", "--tz",
                    "Europe/Berlin", "--db", path});
}

TEST(MeterClock, BerlinWallTimeIsStoredAsTrueUtc) {
    const ksim::WallClock berlin = *ksim::zone_wall_clock("Europe/Berlin");
    struct Case {
        const char* what;
        std::int64_t change;
        int repeated_stamps;  // wall times that come twice
        const char* day;      // of the change
        int quarter_hours;    // on that day
    };
    for (const Case& c : {Case{"autumn", AUTUMN_CHANGE, 4, "2026-10-25", 100},
                          Case{"spring", SPRING_CHANGE, 0, "2026-03-29", 92}}) {
        SCOPED_TRACE(c.what);
        // A day of records up to the change, then the pass ends (in autumn: inside the repeated
        // hour, 02:45 CEST); the next day's records come in a second pass.
        const std::int64_t first_pass_end = c.change - 900;
        ksim::Meter meter = ksim::default_meter(ksim::Model::em133, 96, first_pass_end, 5, berlin);
        meter.identity->serial = 7801;
        ksim::Simulator sim(meter);
        sim.start();
        const std::string path = fresh_sqlite_path();
        ASSERT_EQ(collect_berlin(sim, path).exit_status, 0);
        sim.update_log(1, [&](ksim::LogFile& log) {
            ksim::append_next_records(log, 96, first_pass_end + 900, berlin);
        });
        const Outcome second = collect_berlin(sim, path);
        ASSERT_EQ(second.exit_status, 0) << second.err;
        EXPECT_TRUE(summaries(second.out).at(0).at("datalog").at(0).contains("resumed_after"));

        const auto log = stored_log(path);
        ASSERT_EQ(log.size(), 192u);
        EXPECT_EQ(log.back().first, c.change + 95 * 900);
        std::set<std::string> stamps;
        for (std::size_t i = 0; i < log.size(); ++i) {
            stamps.insert(log[i].second);
            if (i > 0) {
                EXPECT_EQ(log[i].first - log[i - 1].first, 900) << log[i].second;
            }
        }
        EXPECT_EQ(stamps.size(), log.size() - c.repeated_stamps);
        // The day of the change has its own number of quarter hours, every one of them stored.
        EXPECT_EQ(
            open_sqlite(path)->rows(std::string("SELECT expected, present, missing FROM "
                                                "completeness WHERE file_id = 1 AND day = '") +
                                    c.day + "'"),
            (std::vector<std::vector<std::string>>{
                {std::to_string(c.quarter_hours), std::to_string(c.quarter_hours), "0"}}));
    }
}

// A log that started again under the same sequence numbers holds two runs of them; given the
// meter's zone later, each run's records are converted in the order the meter recorded them, so
// the repeated hour of the later run is told apart although the earlier run's numbers interleave.
class ZoneGivenLater : public EachEngine {};

TEST_P(ZoneGivenLater, RecordsOfARestartedLogKeepTheirOrderAcrossTheRepeatedHour) {
    const ksim::WallClock berlin = *ksim::zone_wall_clock("Europe/Berlin");
    ksim::Meter meter =
        ksim::default_meter(ksim::Model::em133, 96, AUTUMN_CHANGE - 5 * 86400, 5, berlin);
    meter.identity->serial = 7802;
    ksim::Simulator sim(meter);
    sim.start();
    const std::vector<std::string> args{"127.0.0.1:" + std::to_string(sim.port()), "--only",
                                        "datalog", "--db", target_};
    ASSERT_EQ(collect(args).exit_status, 0);
    // Cleared and refilled: 192 records whose sequence numbers start again, the repeated hour
    // among those the earlier run also holds.
    const std::int64_t end = AUTUMN_CHANGE + 120 * 900;
    sim.set_log(1, ksim::default_meter(ksim::Model::em133, 192, end, 5, berlin).logs.at(1));
    ASSERT_EQ(collect(args).exit_status, 0);
    std::vector<std::string> berlin_args = args;
    berlin_args.insert(berlin_args.end(), {"--tz", "Europe/Berlin"});
    const Outcome converted = collect(berlin_args);
    ASSERT_EQ(converted.exit_status, 0) << converted.err;

    // The later run's records, by sequence number: UTC seconds exactly an interval apart.
    const std::string epoch = sqlite() ? "CAST(strftime('%s', recorded_at) AS INTEGER)"
                                       : "CAST(extract(epoch FROM recorded_at) AS BIGINT)";
    const auto times = db()->rows("SELECT seq, " + epoch +
                                  " FROM datalog_records WHERE serial = 7802 AND file_id = 1 AND "
                                  "meter_time > '2026-10-21' ORDER BY seq");
    ASSERT_EQ(times.size(), 192u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_EQ(std::stoll(times[i][1]) - std::stoll(times[i - 1][1]), 900) << times[i][0];
    EXPECT_EQ(std::stoll(times.back()[1]), end);
}

INSTANTIATE_TEST_SUITE_P(Engines, ZoneGivenLater, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collect_test
