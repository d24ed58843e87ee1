// SPDX-License-Identifier: MIT
// What the collections tell in the report: the gaps with their cause, each day's completeness,
// the warnings of a meter's latest collection and when it was last collected, all as the
// database holds them; and a database from before the collections still reports.
#include "common/meter_lock.hpp"
#include "report_run.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>

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
    // The outage meter under the site's name; the clock meter twice: its latest pass is not its
    // first.
    const std::string named = collect_test::hosts_file(
        "127.0.0.1:" + std::to_string(outage.port()) + " em133 name=\"Boiler house\"\n");
    for (const std::vector<std::string>& meters :
         {std::vector<std::string>{"--hosts", named}, {ahead.address()}, {ahead.address()}}) {
        std::vector<std::string> args = meters;
        args.insert(args.end(), {"--only", "datalog,eventlog", "--db", path});
        const auto run = collect_test::collect(args);
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
    const std::vector<std::string> gap_row{shown_utc(gaps[0][0]), shown_utc(gaps[0][1]), gaps[0][2],
                                           "the meter was off"};
    EXPECT_NE(view.dom.find(row_of(gap_row)), std::string::npos) << "no gap row " << gaps[0][2];
    // The summary's list: every stored gap, each under its meter's name.
    std::vector<std::string> listed{"Boiler house \u2014 9301", "Data log 1"};
    listed.insert(listed.end(), gap_row.begin(), gap_row.end());
    EXPECT_NE(view.dom.find("<tr>" + row_of(listed)), std::string::npos) << "not in the summary";
    EXPECT_EQ(report.data["summary"]["gaps"], db->number("SELECT count(*) FROM gaps"));
    EXPECT_EQ(report.data["summary"]["missing_records"],
              db->number("SELECT sum(missing) FROM gaps"));

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

// The meter locks of the collector and of this test in a file of their own while it lives.
class OwnLockFile {
public:
    OwnLockFile() { ::setenv("KOLVANE_LOCK_DIR", cli_test::fresh_dir("locks").c_str(), 1); }
    ~OwnLockFile() { ::unsetenv("KOLVANE_LOCK_DIR"); }
};

// A pass that found its meter busy does not say who answered: it belongs to the meter that
// answered at that address in another pass, and only an address where none ever did is listed
// among the collections of meters that never said who they are.
TEST(ReportOfCollections, OnlyPassesWhereNoMeterEverAnsweredAreUnidentified) {
    const OwnLockFile locks;
    SiteMeter boiler(ksim::Model::em133, 9401, 20, 5);   // busy in the first pass
    SiteMeter chiller(ksim::Model::em133, 9402, 20, 5);  // busy in the second
    const std::string gone = "127.0.0.1:" + std::to_string(cli_test::closed_port());
    const std::string hosts =
        collect_test::hosts_file(boiler.address() + " name=Boiler\n" + chiller.address() +
                                 " name=Chiller\n" + gone + " name=Yard\n");
    const std::string path = collect_test::fresh_sqlite_path();
    for (SiteMeter* held : {&boiler, &chiller}) {
        // Another transfer holds the meter: the pass finds it busy before it says who it is.
        const kcli::MeterLock transfer("127.0.0.1", held->sim().port(), 1,
                                       std::chrono::milliseconds(0));
        ASSERT_TRUE(transfer.held()) << transfer.error();
        const auto run = collect_test::collect({"--hosts", hosts, "--db", path});
        int busy = 0;
        for (const nlohmann::json& line : collect_test::summaries(run.out))
            busy += line.value("busy", false) && !line.contains("serial");
        ASSERT_EQ(busy, 1) << run.out << run.err;
    }

    const Report report = make_report(path);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const nlohmann::json& summary = report.data["summary"];
    ASSERT_EQ(summary["unidentified_passes"].size(), 2u) << summary["unidentified_passes"];
    for (const nlohmann::json& pass : summary["unidentified_passes"]) {
        EXPECT_EQ(pass["name"], "Yard");
        EXPECT_EQ(pass["outcome"], "failed");
    }
    EXPECT_EQ(summary["failed_passes"], 2);
    // Each busy pass is its meter's, the chiller's the latest of its two.
    for (const auto& [serial, latest] : {std::pair{9401, "complete"}, {9402, "busy"}}) {
        const nlohmann::json& meter = meter_of(report.data, serial);
        EXPECT_EQ(meter["collections"]["passes"], 2) << serial;
        EXPECT_EQ(meter["last_outcome"], latest) << serial;
    }
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    EXPECT_NE(view.dom.find("<td>" + gone + "</td><td>1</td><td>Yard</td>"), std::string::npos);
    for (const SiteMeter* known : {&boiler, &chiller})
        EXPECT_EQ(view.dom.find("<td>" + known->address() + "</td><td>1</td>"), std::string::npos)
            << known->address() << " listed as never said who it is";
}

// Passes that named no meter, as stored: each belongs to the meter the meters table has at its
// address, else to the one a pass there named; the rest are listed, the newest, and all counted.
TEST(ReportOfCollections, PassesThatNamedNoMeterAreCountedWhereTheyBelong) {
    StoredSite site;
    kdb::MeterRow upgraded = meter_row(7301);  // collected before passes were recorded
    upgraded.port = 502, upgraded.unit = 2;
    site.meter(upgraded);
    kdb::MeterRow moved = meter_row(7302);  // named in a pass at unit 3, since moved to 503
    moved.port = 503, moved.unit = 3;
    site.meter(moved);
    int minute = 0;
    auto pass = [&](int port, int unit, std::optional<std::int64_t> serial, const char* outcome) {
        const std::string at = "2026-01-01T00:" + std::string(minute < 10 ? "0" : "") +
                               std::to_string(minute) + ":00.000Z";
        ++minute;
        kdb::CollectionRow row;
        row.started_at = row.finished_at = at;
        row.host = "127.0.0.1", row.port = port, row.unit = unit;
        row.serial = serial, row.outcome = outcome;
        if (std::string(outcome) == "failed") row.error = "Cannot connect";
        row.logs = row.warnings = "[]";
        site.collection(row);
    };
    pass(502, 3, 7302, "complete");
    for (int i = 0; i < 3; ++i) pass(502, 2, std::nullopt, "failed");
    pass(502, 3, std::nullopt, "busy");
    for (int i = 0; i < 25; ++i) pass(1, 1, std::nullopt, "failed");

    const Report report = make_report(site.path());
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const nlohmann::json& summary = report.data["summary"];
    EXPECT_EQ(summary["failed_passes"], 25 + 3);
    ASSERT_EQ(summary["unidentified_passes"].size(), 20u);
    for (const nlohmann::json& listed : summary["unidentified_passes"])
        EXPECT_EQ(listed["port"], 1);
    struct Expected {
        std::int64_t serial;
        int passes, failures;
        const char* latest;
    };
    for (const Expected& e : {Expected{7301, 3, 3, "failed"}, Expected{7302, 2, 0, "busy"}}) {
        const nlohmann::json& meter = meter_of(report.data, e.serial);
        EXPECT_EQ(meter["collections"]["passes"], e.passes) << e.serial;
        EXPECT_EQ(meter["collections"]["failures"], e.failures) << e.serial;
        EXPECT_EQ(meter["collections"]["failed"].size(), static_cast<std::size_t>(e.failures));
        EXPECT_EQ(meter["last_outcome"], e.latest) << e.serial;
    }
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
        for (const nlohmann::json& log : m["datalogs"]) EXPECT_TRUE(log["gaps"].is_null());
    }
    // No gaps view: the gaps are unknown, not none.
    EXPECT_TRUE(report.data["summary"]["gaps"].is_null());
    EXPECT_TRUE(report.data["summary"]["gap_list"].empty());
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0);
    EXPECT_NE(view.dom.find("<b>not recorded in this database</b><span>gaps</span>"),
              std::string::npos);
}

}  // namespace
}  // namespace report_test
