// SPDX-License-Identifier: MIT
// A record of every collection: one row per meter per pass, the warnings about the meter's clock
// and about records its circular log overwrote before they were collected, and the stored gap.
#include "support/loopback_ports.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace collect_test {
namespace {

using nlohmann::json;

// The first warning of a summary line that contains `text`, or empty.
std::string warning_with(const json& line, const std::string& text) {
    for (const json& warning : line.value("warnings", json::array()))
        if (warning.get<std::string>().find(text) != std::string::npos) return warning;
    return {};
}

TEST(Collections, AClockOutOfStepIsAWarningOnTheLineAndInTheCollections) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    struct Case {
        const char* what;
        std::int64_t logs_end;  // the meter's clock at its newest record
        std::string warning;    // part of the warning; empty: none
    };
    const std::vector<Case> cases{
        {"right", now, ""},
        {"three hours ahead", now + 3 * 3600, "in the future"},
        {"a day behind", now - 86400, "old though the log records every 15 min"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SiteMeter meter(ksim::Model::em133, 8101, 20, 5, c.logs_end);
        const std::string path = fresh_sqlite_path();
        const Outcome run = collect({meter.address(), "--only", "datalog", "--db", path});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const json line = summaries(run.out).at(0);
        EXPECT_TRUE(line.contains("newest_record")) << line;
        const auto db = open_sqlite(path);
        const auto stored = db->rows("SELECT outcome, warnings FROM collections");
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0][0], "complete");
        if (c.warning.empty()) {
            EXPECT_FALSE(line.contains("warnings")) << line;
            EXPECT_EQ(stored[0][1], "[]");
        } else {
            EXPECT_NE(warning_with(line, c.warning), "") << line;
            EXPECT_NE(stored[0][1].find(c.warning), std::string::npos) << stored[0][1];
        }
    }
}

// A circular log that went on recording while nobody collected it: the records it overwrote are
// counted, warned of and stored as a gap; what the meter still holds is stored whole.
TEST(Collections, RecordsOverwrittenBeforeCollectionAreAWarningAndAStoredGap) {
    SiteMeter meter(ksim::Model::em133, 8201, 100, 5);
    const std::string path = fresh_sqlite_path();
    const std::vector<std::string> args{meter.address(), "--only", "datalog", "--db", path};
    ASSERT_EQ(collect(args).exit_status, 0);
    meter.sim().update_log(1, [](ksim::LogFile& log) {
        ksim::append_next_records(log, 150);
        ksim::wrap_log(log, 100);
    });
    const Outcome run = collect(args);
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const json line = summaries(run.out).at(0);
    EXPECT_EQ(line.at("datalog").at(0).at("lost"), 50) << line;
    EXPECT_EQ(line.at("datalog").at(0).at("new"), 100) << line;
    EXPECT_NE(warning_with(line, "data log 1: 50 records were overwritten"), "") << line;

    const auto db = open_sqlite(path);
    EXPECT_EQ(db->number("SELECT count(*) FROM datalog_records WHERE file_id = 1"), 200);
    const auto gaps = db->rows("SELECT file_id, missing, cause, gap_from < gap_to FROM gaps");
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0], (std::vector<std::string>{"1", "50", "overwritten before collection", "1"}));
    EXPECT_EQ(db->number("SELECT count(*) FROM collections WHERE serial = 8201"), 2);
}

TEST(Collections, AMeterThatCannotBeReachedHasItsRowToo) {
    const ktest::RefusingPort closed;
    const std::string path = fresh_sqlite_path();
    const Outcome run =
        collect({"127.0.0.1:" + std::to_string(closed.port()), "--db", path, "-t", "500"});
    EXPECT_EQ(run.exit_status, 1);
    const auto rows =
        open_sqlite(path)->rows("SELECT outcome, serial IS NULL, error FROM collections");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "failed");
    EXPECT_EQ(rows[0][1], "1");
    EXPECT_NE(rows[0][2].find("unreachable"), std::string::npos) << rows[0][2];
}

// Holes in a data log: one with the meter's power down and up events around it, one without. Each
// is a gap with its cause, and the days around them count the records missing.
class Completeness : public EachEngine {};

TEST_P(Completeness, HolesInALogAreGapsWithTheirCause) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    // An hour and a half without power (6 quarter hours) and, earlier, 4 records not recorded.
    ksim::Meter content = meter_after_outage(8301, now);
    auto& records = content.logs.at(1).records;
    records.erase(records.begin() + 40, records.begin() + 44);
    for (std::size_t i = 40; i < records.size(); ++i) records[i][1] = records[i - 1][1] + 1;
    ksim::Simulator meter(content);
    meter.start();
    const Outcome run = collect({"127.0.0.1:" + std::to_string(meter.port()), "--only",
                                 "datalog,eventlog", "--db", target_});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    EXPECT_FALSE(summaries(run.out).at(0).contains("warnings")) << run.out;
    const auto db = this->db();
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(db->rows("SELECT missing, cause FROM gaps WHERE file_id = 1 ORDER BY gap_from"),
              (Rows{{"4", "not recorded"}, {"6", "the meter was off"}}));
    EXPECT_EQ(db->rows("SELECT missing, cause FROM gaps WHERE file_id = 2"),
              (Rows{{"6", "the meter was off"}}));
    EXPECT_EQ(db->number("SELECT sum(missing) FROM completeness WHERE file_id = 1"), 10);
    EXPECT_EQ(db->number("SELECT sum(present) FROM completeness WHERE file_id = 1"), 190);
}

// Energy per interval and per day from a counter column: a one-record dip in the counter is a
// glitch, neither a step back nor a rebound, and the days add up to the counter's growth. The
// interval over the left-out record is a gap: when it spans midnight (the records end now, at
// any time of day) its energy is the hole's and both its days are partial.
TEST_P(Completeness, EnergyFromTheCountersLeavesAGlitchOut) {
    constexpr std::uint16_t KWH_IMPORT = 5888;
    // The dip (record 150 of 300, 15 minutes apart) at midnight, and at noon.
    const struct {
        std::uint32_t serial;
        std::int64_t dip_at;
        int hole_days;
    } cases[] = {{8401, 1773014400, 2}, {8402, 1773057600, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dip_at);
        SiteMeter meter(ksim::Model::em133, c.serial, 300, 5, c.dip_at + 149 * 900);
        meter.sim().update_log(1, [&](ksim::LogFile& log) {
            const auto column = std::find(log.columns.begin(), log.columns.end(), KWH_IMPORT);
            ASSERT_NE(column, log.columns.end());
            const std::size_t word = 8 + 2 * static_cast<std::size_t>(column - log.columns.begin());
            log.records[150][word] = 0;  // the low word of the counter: a dip
        });
        const Outcome run = collect({meter.address(), "--only", "datalog", "--db", target_});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const auto db = this->db();
        const std::string meter_log = " WHERE serial = " + std::to_string(c.serial) +
                                      " AND file_id = 1 AND name = 'kWh import'";
        const std::string counter = " FROM datalog_values" + meter_log;
        const auto value_at = [&](const char* order) {
            return std::stod(db->rows("SELECT value" + counter + " ORDER BY recorded_at " + order +
                                      " LIMIT 1")[0][0]);
        };
        const double growth = value_at("DESC") - value_at("ASC");
        const std::string days = " FROM energy_days" + meter_log;
        EXPECT_NEAR(std::stod(db->rows("SELECT sum(energy) + sum(hole_energy)" + days)[0][0]),
                    growth, 1e-6 * growth);
        EXPECT_EQ(db->number("SELECT sum(glitches)" + days), 1);
        // The first and last days are partial (the records begin and end within them), and the two
        // days of the dip's gap when it spans midnight.
        EXPECT_EQ(db->number("SELECT count(*)" + days + " AND hole_energy > 0"), c.hole_days / 2);
        EXPECT_EQ(db->number("SELECT count(*)" + days + " AND partial"), 2 + c.hole_days);
        const double largest =
            std::stod(db->rows("SELECT max(energy) FROM energy_intervals" + meter_log)[0][0]);
        EXPECT_LT(largest, 0.05 * growth);  // no rebound of the dip
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, Completeness, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace collect_test
