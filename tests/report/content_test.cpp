// SPDX-License-Identifier: MIT
// What the report makes of databases written through the collector's store: a year of records
// thinned without losing a spike, gaps, and the awkward cases, each opened in the browser.
#include "report_run.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>

namespace report_test {
namespace {

constexpr double START = 1767225600;  // 2026-01-01T00:00:00Z
constexpr double STEP = 900;          // 15 minutes

std::vector<kdb::Column> year_columns() {
    std::vector<kdb::Column> columns;
    for (const char* name : {"V1", "V2", "V3"}) columns.push_back({name, "V"});
    for (const char* name : {"I1", "I2", "I3", "In"}) columns.push_back({name, "A"});
    for (const char* name : {"kW L1", "kW L2", "kW L3", "Total kW"})
        columns.push_back({name, "kW"});
    columns.push_back({"Total PF", ""});
    columns.push_back({"Frequency", "Hz"});
    for (const char* name : {"kWh import", "kWh export"}) columns.push_back({name, "kWh"});
    columns.push_back({"kvarh import", "kvarh"});
    return columns;
}

// A year of 15-minute records with 16 columns; record `spike` has V1 at 999 and `dip` 50, and
// the records from `gap` on for `gap_length` are missing.
struct Year {
    static constexpr int RECORDS = 35040;
    static constexpr int SPIKE = 20000, DIP = 123, GAP = 30000, GAP_LENGTH = 10;
};

void store_year(StoredSite& site, std::int64_t serial) {
    kdb::DatalogBatch batch{serial, 1, year_columns(), {}};
    for (int i = 0; i < Year::RECORDS; ++i) {
        if (i >= Year::GAP && i < Year::GAP + Year::GAP_LENGTH) continue;
        const double wave = std::sin(i * 0.05);
        std::vector<double> v;
        for (int phase = 0; phase < 3; ++phase) v.push_back(230 + 2 * std::sin(i * 0.05 + phase));
        if (i == Year::SPIKE) v[0] = 999;
        if (i == Year::DIP) v[0] = 50;
        for (int phase = 0; phase < 4; ++phase) v.push_back(12 + 4 * wave + phase);
        for (int phase = 0; phase < 4; ++phase) v.push_back(2 + wave + phase);
        v.insert(v.end(), {0.93, 50.0, i * 2.5, i * 0.1, i * 0.7});
        batch.rows.push_back(datalog_row(START + i * STEP, i + 1, std::move(v)));
        if (batch.rows.size() == 5000) site.datalog(batch), batch.rows.clear();
    }
    site.datalog(batch);
}

TEST(Report, AYearOfRecordsStaysLightAndKeepsEveryPeak) {
    StoredSite site;
    site.meter(7001);
    store_year(site, 7001);
    const Report report = make_report(site.path());
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    EXPECT_LT(report.html.size(), 3u * 1024 * 1024);

    const nlohmann::json& volts = chart_of(report.data, 7001, 1, "V");
    EXPECT_LE(volts["x"].size(), 4000u + 3u);  // the budget, plus the gap's two ends and its break
    const nlohmann::json& v1 = series_of(volts, "V1");
    auto value_at = [&](double t) -> double {
        for (std::size_t i = 0; i < volts["x"].size(); ++i)
            if (volts["x"][i] == t) return v1[i].get<double>();
        return NAN;
    };
    EXPECT_EQ(value_at(START + Year::SPIKE * STEP), 999) << "the one-record spike is drawn";
    EXPECT_EQ(value_at(START + Year::DIP * STEP), 50) << "the one-record dip is drawn";

    // The line breaks where records are missing.
    EXPECT_TRUE(
        std::any_of(v1.begin(), v1.end(), [](const nlohmann::json& v) { return v.is_null(); }));

    // Energy per day: 96 steps a day at 2.5 kWh is 240 kWh, the first day too: its first record
    // is at midnight, and a day holds the steps that end in (00:00, 24:00].
    const nlohmann::json& energy = chart_of(report.data, 7001, 1, "kWh");
    EXPECT_EQ(energy["kind"], "daily");
    EXPECT_EQ(energy["x"].size(), 365u);
    const nlohmann::json& imported = series_of(energy, "kWh import");
    EXPECT_DOUBLE_EQ(imported[0].get<double>(), 96 * 2.5);
    EXPECT_DOUBLE_EQ(imported[1].get<double>(), 96 * 2.5);
    EXPECT_DOUBLE_EQ(imported[200].get<double>(), 96 * 2.5);

    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    EXPECT_EQ(view.inks.size(), 8u);  // V, A, kW, PF, Hz, kWh import and export, kvarh; no events
    for (long ink : view.inks) EXPECT_GT(ink, 200);
    // A year's axis shows months (the last day ends in 2027); every day has its bar.
    for (const auto& box : view.boxes) {
        EXPECT_TRUE(std::regex_match(box.at("xticks"), std::regex("(202[67]-\\d\\d\\|?){4,}")))
            << box.at("xticks");
        EXPECT_EQ(box.count("bars") ? box.at("bars") : "365", "365");
    }
}

// The gaps the collector stored, in the summary as in each meter's completeness: the gaps view's
// rows that overlap the range, whatever the records suggest. Meter 7201's records lack five the
// collector did record, and its log began with records overwritten before the first was read.
TEST(Report, TheGapSummaryIsTheStoredGaps) {
    StoredSite site;
    kdb::MeterRow boiler = meter_row(7201);
    boiler.name = "Boiler house";
    site.meter(boiler);
    site.meter(7202, "em235");
    kdb::DatalogBatch batch{7201, 1, {{"V1", "V"}}, {}};
    for (int i = 0; i < 100; ++i)
        if (i < 40 || i >= 45) batch.rows.push_back(datalog_row(START + i * STEP, i + 1, {230.0}));
    site.datalog(batch);
    site.gap({7201, 1, utc(START + 39 * STEP), utc(START + 45 * STEP), 5, "the meter was off"});
    site.gap({7201, 1, utc(START - 10 * STEP), utc(START), 9,
              "records overwritten before they were collected"});
    site.gap({7201, 0, utc(START + 60 * STEP), utc(START + 70 * STEP), 3, "the meter was off"});
    site.gap({7202, 2, utc(START + 80 * STEP), utc(START + 90 * STEP), 4, "the meter was off"});

    const auto db = collect_test::open_sqlite(site.path());
    const std::map<std::int64_t, std::string> labels{{7201, "Boiler house \u2014 7201"},
                                                     {7202, "7202"}};
    for (const std::string& from : {std::string(), utc(START + 50 * STEP)}) {
        SCOPED_TRACE("from " + from);
        const Report report =
            make_report(site.path(), from.empty() ? std::vector<std::string>{}
                                                  : std::vector<std::string>{"--from", from});
        ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
        const auto stored = db->rows(
            "SELECT serial, file_id, gap_from, gap_to, missing, cause FROM gaps WHERE gap_to >= '" +
            from + "' ORDER BY serial, file_id, gap_from");
        ASSERT_GE(stored.size(), 2u);
        const nlohmann::json& summary = report.data["summary"];
        ASSERT_EQ(summary["gap_list"].size(), stored.size());
        std::int64_t missing = 0;
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const nlohmann::json& listed = summary["gap_list"][i];
            const std::int64_t serial = std::stoll(stored[i][0]);
            EXPECT_EQ(listed["serial"], serial);
            EXPECT_EQ(listed["meter"], labels.at(serial));
            EXPECT_EQ(listed["file_id"], std::stoi(stored[i][1]));
            EXPECT_EQ(listed["from"], stored[i][2]);
            EXPECT_EQ(listed["to"], stored[i][3]);
            EXPECT_EQ(listed["missing"], std::stoll(stored[i][4]));
            EXPECT_EQ(listed["cause"], stored[i][5]);
            missing += std::stoll(stored[i][4]);
        }
        EXPECT_EQ(summary["gaps"], stored.size());
        EXPECT_EQ(summary["missing_records"], missing);
        const auto of_log = db->number(
            "SELECT count(*) FROM gaps WHERE serial = 7201 AND file_id = 1 AND gap_to >= '" + from +
            "'");
        EXPECT_EQ(report.data["meters"][0]["datalogs"][0]["gaps"], of_log);
    }
}

// A page the browser draws without errors, one chart per entry in the data.
void expect_valid_page(const Report& report) {
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    EXPECT_GE(view.charts, 0) << "the page never finished: " << view.log;
    ASSERT_EQ(view.inks.size(), static_cast<std::size_t>(view.charts));
    for (long ink : view.inks) EXPECT_GT(ink, 0);
}

TEST(Report, EmptyDatabase) {
    StoredSite site;
    const Report report = make_report(site.path());
    expect_valid_page(report);
    EXPECT_EQ(report.data["summary"]["meters"], 0);
    EXPECT_TRUE(report.data["meters"].empty());
}

TEST(Report, MeterWithOnlyAnEventLog) {
    StoredSite site;
    site.meter(7002, "em235");
    kdb::EventBatch batch{7002, {}};
    for (int i = 0; i < 30; ++i)
        batch.rows.push_back({utc(START + i * 3600),
                              i + 1,
                              i % 3,
                              i % 2 ? "Setpoint" : "Power up",
                              "V1",
                              "on",
                              "none",
                              "relay",
                              0,
                              0,
                              100 + i,
                              {}});
    batch.rows.push_back({utc(START + 31 * 3600),
                          32,
                          1,
                          "<script>alert(1)</script>",
                          "</script>",
                          "",
                          "",
                          "",
                          0,
                          0,
                          0,
                          {}});
    site.events(batch);
    const Report report = make_report(site.path());
    expect_valid_page(report);
    const nlohmann::json& meter = report.data["meters"][0];
    EXPECT_TRUE(meter["datalogs"].empty());
    EXPECT_EQ(meter["events"]["count"], 31);
    EXPECT_EQ(meter["events"]["recent"][0]["cause"], "<script>alert(1)</script>")
        << "most recent first";
    EXPECT_EQ(report.html.find("<script>alert"), std::string::npos) << "texts cannot open elements";
}

TEST(Report, LogWhoseColumnsChanged) {
    StoredSite site;
    site.meter(7003);
    kdb::DatalogBatch before{7003, 1, {{"V1", "V"}, {"V2", "V"}}, {}};
    kdb::DatalogBatch after{7003, 1, {{"V1", "V"}, {"kWh import", "kWh"}}, {}};
    for (int i = 0; i < 10; ++i)
        before.rows.push_back(datalog_row(START + i * STEP, i + 1, {230.0 + i, 231.0}));
    for (int i = 10; i < 20; ++i)
        after.rows.push_back(datalog_row(START + i * STEP, i + 1, {240.0 + i, 5.0 * i}));
    site.datalog(before);
    site.datalog(after);
    const Report report = make_report(site.path());
    expect_valid_page(report);
    const nlohmann::json& volts = chart_of(report.data, 7003, 1, "V");
    const nlohmann::json& v1 = series_of(volts, "V1");
    const nlohmann::json& v2 = series_of(volts, "V2");
    ASSERT_EQ(v1.size(), 20u);
    EXPECT_EQ(v1[9], 239.0);
    EXPECT_EQ(v1[10], 250.0);
    EXPECT_EQ(v2[9], 231.0);
    EXPECT_TRUE(v2[10].is_null()) << "the later layout has no V2";
    EXPECT_EQ(report.data["summary"]["datalog_records"], 20);
}

TEST(Report, FailuresKeepAnEarlierReport) {
    StoredSite site;
    const Report good = make_report(site.path());
    ASSERT_EQ(good.outcome.exit_status, 0);

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const std::string missing = std::filesystem::path(site.path()).parent_path() / "missing.db";
    // An HTML file, no database (a copy: -o naming the database itself is refused before).
    const std::string not_ours = std::filesystem::path(site.path()).parent_path() / "page.html";
    std::filesystem::copy_file(good.path, not_ours);
    for (const Case& c : std::vector<Case>{
             {{"--db", missing}, 1, "Cannot open SQLite database"},
             {{"--db", not_ours}, 1, "SQLite"},
             {{"--db", site.path(), "--from", "yesterday"}, 2, "--from"},
             {{"--db", site.path(), "--since", "1h", "--from", "2026-01-01"}, 2, "excludes"},
             {{"--db", site.path(), "--from", "2026-02-01", "--to", "2026-01-01"}, 2, "earlier"}}) {
        std::vector<std::string> args{"report", "-o", good.path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const cli_test::Outcome run = cli_test::run_tool(args);
        EXPECT_EQ(run.exit_status, c.status) << c.args[1];
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(cli_test::read_file(good.path), good.html) << "the earlier report stays";
        EXPECT_FALSE(std::filesystem::exists(good.path + ".part"));
    }
    EXPECT_FALSE(std::filesystem::exists(missing)) << "a report never creates a database";
}

}  // namespace
}  // namespace report_test
