// SPDX-License-Identifier: MIT
// What the collections tell in the report: the gaps with their cause, each day's completeness,
// the warnings of a meter's latest collection and when it was last collected, all as the
// database holds them; and a database from before the collections still reports.
#include "report_run.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

namespace report_test {
namespace {

using collect_test::SiteMeter;

// A UTC text as the page shows it on a UTC clock: "2026-03-01 12:15", seconds when it has them.
std::string shown_utc(const std::string& text) {
    const std::string seconds = text.substr(17, 2);
    return text.substr(0, 10) + " " + text.substr(11, seconds == "00" ? 5 : 8);
}

std::string html_escaped(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    return out;
}

// The table row of `cells` as the page's DOM holds it.
std::string row_of(const std::vector<std::string>& cells) {
    std::string row;
    for (const std::string& cell : cells) row += "<td>" + cell + "</td>";
    return row;
}

const nlohmann::json& meter_of(const nlohmann::json& data, std::int64_t serial) {
    for (const nlohmann::json& m : data["meters"])
        if (m["serial"] == serial) return m;
    throw std::runtime_error("no meter " + std::to_string(serial) + " in the report");
}

TEST(ReportOfCollections, GapsDaysWarningsAndLastCollectedAreTheDatabases) {
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    // A meter whose power was off for an hour and a half, and one whose clock is 3 hours ahead.
    ksim::Simulator outage(collect_test::meter_after_outage(9301, now));
    outage.start();
    SiteMeter ahead(ksim::Model::em133, 9302, 20, 5, now + 3 * 3600);
    const std::string path = collect_test::fresh_sqlite_path();
    // The clock meter twice: its latest pass is not its first.
    for (const std::string& address :
         {"127.0.0.1:" + std::to_string(outage.port()), ahead.address(), ahead.address()}) {
        const auto run =
            collect_test::collect({address, "--only", "datalog,eventlog", "--db", path});
        ASSERT_EQ(run.exit_status, 0) << run.err;
    }

    const Report report = make_report(path);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    const auto db = collect_test::open_sqlite(path);

    const auto gaps = db->rows(
        "SELECT gap_from, gap_to, missing FROM gaps WHERE serial = 9301 AND file_id = 1 AND "
        "cause = 'the meter was off'");
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_NE(view.dom.find(row_of(
                  {shown_utc(gaps[0][0]), shown_utc(gaps[0][1]), gaps[0][2], "the meter was off"})),
              std::string::npos)
        << "no gap row " << gaps[0][2];

    const auto days = db->rows(
        "SELECT day, expected, present, missing FROM completeness WHERE serial = 9301 AND "
        "file_id = 1 AND missing > 0");
    ASSERT_FALSE(days.empty());
    const nlohmann::json& log = meter_of(report.data, 9301)["completeness"].at(0);
    EXPECT_EQ(log["file_id"], 1);
    for (const auto& day : days) {
        EXPECT_NE(view.dom.find("<tr>" + row_of(day)), std::string::npos)
            << "no day row " << day[0];
        bool listed = false;
        for (const nlohmann::json& d : log["days"])
            listed = listed || (d["day"] == day[0] && d["missing"] == std::stoll(day[3]));
        EXPECT_TRUE(listed) << day[0];
    }

    const auto latest = db->rows(
        "SELECT finished_at, warnings FROM collections WHERE serial = 9302 ORDER BY finished_at "
        "DESC");
    ASSERT_EQ(latest.size(), 2u);
    const auto warnings = nlohmann::json::parse(latest[0][1]);
    ASSERT_FALSE(warnings.empty());
    EXPECT_NE(warnings[0].get<std::string>().find("in the future"), std::string::npos) << warnings;
    for (const nlohmann::json& warning : warnings)
        EXPECT_NE(view.dom.find("<li>" + html_escaped(warning) + "</li>"), std::string::npos)
            << warning;
    EXPECT_EQ(meter_of(report.data, 9302)["last_collected"], latest[0][0]);
    EXPECT_NE(view.dom.find("<td>" + shown_utc(latest[0][0]) + "</td></tr>"), std::string::npos)
        << "last collected " << latest[0][0];

    EXPECT_EQ(report.data["summary"]["meters_with_warnings"], 1);
    EXPECT_EQ(report.data["summary"]["meters_missing_records"], 1);
}

TEST(ReportOfCollections, ADatabaseOfSchemaVersion1StillReports) {
    const std::string path = collect_test::fresh_sqlite_path();
    std::filesystem::copy_file(KOLVANE_COLLECT_DATA "/schema_v1.db", path);
    const Report report = make_report(path);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const auto stored =
        collect_test::open_sqlite(path)->rows("SELECT serial, last_seen FROM meters");
    ASSERT_FALSE(stored.empty());
    for (const auto& meter : stored) {
        const nlohmann::json& m = meter_of(report.data, std::stoll(meter[0]));
        EXPECT_EQ(m["last_collected"], meter[1]);
        EXPECT_TRUE(m["collections"].is_null());
        EXPECT_TRUE(m["completeness"].empty());
    }
    EXPECT_EQ(open_in_browser(report.path).errors, 0);
}

}  // namespace
}  // namespace report_test
