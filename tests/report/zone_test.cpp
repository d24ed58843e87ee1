// SPDX-License-Identifier: MIT
// A meter whose clock keeps Berlin's wall time, its records in PostgreSQL across the autumn change
// of the clock: Berlin's days and times, one energy chart per counter whose bars are the
// database's differences per Berlin day, and axes that fit the range shown.
#include "report_run.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <regex>

namespace report_test {
namespace {

constexpr double START = 1792760400;   // 2026-10-23T13:00:00Z, 15:00 in Berlin
constexpr double CHANGE = 1792890000;  // 2026-10-25T01:00:00Z: Berlin's 03:00 becomes 02:00
constexpr double STEP = 900;
constexpr int RECORDS = 368;  // the last at 09:45 in Berlin on 2026-10-27
constexpr int GLITCH = 327;   // 23:45 in Berlin on 2026-10-26, its last record: export reads 0

// Meter 7401 with 15-minute records of V1, Total PF and two counters, stored once.
const std::string& berlin_site() {
    static const std::string target = [] {
        StoredSite site(collect_test::fresh_postgres_database());
        site.meter(7401, "em133", "Europe/Berlin");
        kdb::DatalogBatch batch{
            7401,
            1,
            {{"V1", "V"}, {"Total PF", ""}, {"kWh import", "kWh"}, {"kWh export", "kWh"}},
            {}};
        for (int i = 0; i < RECORDS; ++i) {
            const double t = START + i * STEP;
            const std::string wall = utc(t + (t < CHANGE ? 7200 : 3600));
            batch.rows.push_back(datalog_row(
                t, i + 1,
                {230.0 + i % 7, 0.93, 5000 + 0.5 * i, i == GLITCH ? 0 : 2000 + i / 2 * 0.5},
                wall.substr(0, wall.size() - 1)));
        }
        site.datalog(batch);
        return site.path();
    }();
    return target;
}

// The value the legend shows for series `label`: the last point's while no cursor is on it.
std::string legend_value(const std::string& dom, const std::string& label) {
    std::smatch m;
    std::regex_search(
        dom, m, std::regex("u-label\">" + label + "</div></th><td class=\"u-value\">([^<]*)<"));
    return m.empty() ? "no legend entry " + label : m[1].str();
}

TEST(ReportInMeterZone, EnergyPerBerlinDayIsTheSumOfTheStepsEndingInIt) {
    const Report report = make_report(berlin_site());
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const nlohmann::json& charts = report.data["meters"][0]["datalogs"][0]["charts"];
    ASSERT_EQ(charts.size(), 4u);  // V, PF, and one per counter
    const auto db = collect_test::open_postgres(berlin_site());
    std::map<std::string, double> last_day;  // the energy of the last, partial day
    for (const nlohmann::json& chart : {charts[2], charts[3]}) {
        const std::string quantity = chart.at("quantity");
        SCOPED_TRACE(quantity);
        // Per Berlin day by PostgreSQL's zone rules: the steps of the records that end in
        // (00:00, 24:00], a reading below the one before it left out and the next one counted
        // from the reading before it.
        const auto days = db->rows(
            "WITH r AS (SELECT recorded_at, value, value < lag(value) OVER (ORDER BY recorded_at) "
            "AS back FROM datalog_values WHERE name = '" +
            quantity +
            "'), "
            "k AS (SELECT recorded_at, value - lag(value) OVER (ORDER BY recorded_at) AS step "
            "FROM r WHERE back IS NOT TRUE) "
            "SELECT to_char(((recorded_at - interval '1 millisecond') AT TIME ZONE "
            "'Europe/Berlin')::date, 'YYYY-MM-DD'), sum(step) FROM k WHERE step IS NOT NULL "
            "GROUP BY 1 ORDER BY 1");
        ASSERT_EQ(days.size(), 5u);
        ASSERT_EQ(chart["days"].size(), days.size()) << chart["days"];
        for (std::size_t d = 0; d < days.size(); ++d) {
            EXPECT_EQ(chart["days"][d], days[d][0]);
            EXPECT_NEAR(chart["series"][0]["values"][d].get<double>(), std::stod(days[d][1]), 1e-9);
        }
        EXPECT_EQ(chart["partial"], nlohmann::json({true, false, false, false, true}));
        EXPECT_EQ(chart["ends"][2].get<double>() - chart["starts"][2].get<double>(), 25 * 3600.0);
        EXPECT_EQ(chart["glitches"].size(), quantity == "kWh export" ? 1u : 0u);
        last_day[quantity] = std::stod(days.back()[1]);
    }

    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    ASSERT_EQ(view.boxes.size(), 4u);
    EXPECT_EQ(view.boxes[2].at("bars"), "5") << "every day, the last too";
    EXPECT_EQ(view.boxes[3].at("bars"), "5");
    for (const auto& [quantity, energy] : last_day) {
        const std::string shown = legend_value(view.dom, quantity + ", partial day");
        EXPECT_EQ(shown.substr(shown.find(' ')), " kWh");
        EXPECT_DOUBLE_EQ(std::strtod(shown.c_str(), nullptr), energy) << shown;
    }
    EXPECT_EQ(legend_value(view.dom, "day"), "2026-10-27, partial");
    // The export reading before the glitch was 2000 + 163 * 0.5.
    for (const char* text :
         {"kWh export: the reading at 2026-10-26 23:45 (0, after 2081.5) is left "
          "out as a glitch",
          "Times in Europe/Berlin", "u-title\">Data log 1: Total PF<"})
        EXPECT_NE(view.dom.find(text), std::string::npos) << text;
}

TEST(ReportInMeterZone, SixHoursAcrossTheClockChangeShowTheirHours) {
    // Berlin's 00:00 to 05:00, six hours: 02:00 comes twice.
    const Report report =
        make_report(berlin_site(), {"--from", "2026-10-24T22:00", "--to", "2026-10-25T04:00"});
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    ASSERT_EQ(view.boxes.size(), 4u);
    for (const auto& box : view.boxes) {
        const std::string& ticks = box.at("xticks");
        EXPECT_TRUE(std::regex_match(ticks, std::regex("00:00 2026-10-25(\\|\\d\\d:\\d\\d)+"
                                                       "( 2026-10-26)?")))
            << ticks << ": hours of that day, the first named";
        if (box.at("kind") == "line") {
            EXPECT_NE(ticks.find("|02:00|02:00|"), std::string::npos) << ticks;
        } else {
            EXPECT_EQ(box.at("bars"), "1");
        }
    }
    EXPECT_EQ(legend_value(view.dom, "time"), "2026-10-25 04:45") << "the last record";
}

}  // namespace
}  // namespace report_test
