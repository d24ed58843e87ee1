// SPDX-License-Identifier: MIT
// The report of a collected simulator site, opened in headless Chromium: every chart draws,
// nothing goes to the console, and the numbers behind a chart are the database's.
#include "report_run.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace report_test {
namespace {

using collect_test::SiteMeter;

// The site's name of the em133, with characters that must stay text on the page.
const std::string BOILER = "Boiler <house> & co";

// Two meters collected once into SQLite, shared by the tests of this file: the em133 named in
// the hosts file, the em235 not.
class CollectedSite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        em133_ = new SiteMeter(ksim::Model::em133, 1201784, 300, 40);
        em235_ = new SiteMeter(ksim::Model::em235, 2305001, 300, 40);
        db_ = new std::string(collect_test::fresh_sqlite_path());
        collect_into(*db_);
    }
    static void collect_into(const std::string& target) {
        const auto run = cli_test::run_tool(
            {"collect", "--hosts",
             collect_test::hosts_file(em133_->address() + " em133 name=\"" + BOILER + "\"\n"),
             "--db", target});
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const auto second =
            cli_test::run_tool({"collect", em235_->address(), "-m", "em235", "--db", target});
        ASSERT_EQ(second.exit_status, 0) << second.err;
    }
    static void TearDownTestSuite() { delete em133_, delete em235_, delete db_; }
    static SiteMeter* em133_;
    static SiteMeter* em235_;
    static std::string* db_;
};
SiteMeter* CollectedSite::em133_ = nullptr;
SiteMeter* CollectedSite::em235_ = nullptr;
std::string* CollectedSite::db_ = nullptr;

std::size_t charts_in(const nlohmann::json& data) {
    std::size_t n = 0;
    for (const nlohmann::json& m : data["meters"]) {
        for (const nlohmann::json& log : m["datalogs"]) n += log["charts"].size();
        if (!m["events"].is_null()) ++n;  // the timeline
    }
    return n;
}

TEST_F(CollectedSite, EveryChartDrawsInTheBrowserWithoutErrors) {
    const Report report = make_report(*db_);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const std::string png = std::string(KOLVANE_REPORT_OUT) + "/report.png";
    std::filesystem::create_directories(KOLVANE_REPORT_OUT);
    std::filesystem::remove(png);
    const BrowserView view = open_in_browser(report.path, png);

    EXPECT_EQ(view.errors, 0) << view.dom;
    EXPECT_EQ(view.log.find("Uncaught"), std::string::npos) << view.log;
    const std::size_t expected = charts_in(report.data);
    EXPECT_GE(expected, 2u * 3u * 3u);  // two meters, three logs, at least V, A and energy each
    EXPECT_EQ(view.charts, static_cast<int>(expected));
    ASSERT_EQ(view.inks.size(), expected);
    for (std::size_t i = 0; i < view.inks.size(); ++i)
        EXPECT_GT(view.inks[i], 200) << "chart " << i << " is blank";

    std::ifstream image(png, std::ios::binary);
    char signature[8] = {};
    image.read(signature, sizeof signature);
    EXPECT_EQ(std::string(signature, 8), "\x89PNG\r\n\x1a\n") << "no screenshot at " << png;
    EXPECT_GT(std::filesystem::file_size(png), 20000u);
}

// Each meter's heading and identity table carry the site's name as text, the serial alone when
// the site gave none; the model's own name keeps a column of its own.
TEST_F(CollectedSite, MetersAreNamedAsTheSiteNamesThem) {
    const Report report = make_report(*db_);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const BrowserView view = open_in_browser(report.path);
    EXPECT_EQ(view.errors, 0) << view.dom;
    const auto db = collect_test::open_sqlite(*db_);
    const std::string boiler = "Boiler &lt;house&gt; &amp; co";
    for (const auto& [serial, name, model] :
         {std::tuple{"1201784", boiler, "em133"}, std::tuple{"2305001", std::string(), "em235"}}) {
        const std::string model_name =
            db->rows(std::string("SELECT model_name FROM meters WHERE serial = ") + serial)
                .at(0)
                .at(0);
        const std::string label = name.empty() ? serial : name + " \u2014 " + serial;
        EXPECT_NE(view.dom.find("<h2>" + label + " (" + model + ")</h2>"), std::string::npos)
            << label;
        EXPECT_NE(view.dom.find("<tr><td>" + (name.empty() ? "-" : name) + "</td><td>" + serial +
                                "</td><td>" + model + "</td><td>" + model_name + "</td>"),
                  std::string::npos)
            << label;
    }
    EXPECT_EQ(view.dom.find("<house>"), std::string::npos) << "the name became markup";
}

TEST_F(CollectedSite, ChartNumbersAreTheDatabaseValues) {
    const Report report = make_report(*db_);
    ASSERT_EQ(report.outcome.exit_status, 0) << report.outcome.err;
    const auto db = collect_test::open_sqlite(*db_);
    for (const auto& [serial, name, unit] :
         {std::tuple{1201784, "V1", "V"}, std::tuple{2305001, "I2", "A"}}) {
        const auto rows = db->rows("SELECT recorded_at, value FROM datalog_values WHERE serial = " +
                                   std::to_string(serial) + " AND file_id = 1 AND name = '" + name +
                                   "' ORDER BY recorded_at, seq");
        const nlohmann::json& chart = chart_of(report.data, serial, 1, unit);
        const nlohmann::json& values = series_of(chart, name);
        ASSERT_EQ(rows.size(), 300u);
        ASSERT_EQ(values.size(), rows.size()) << "a short log is drawn record by record";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(utc(chart["x"][i].get<double>()), rows[i][0].substr(0, 19) + ".000Z");
            EXPECT_EQ(values[i].get<double>(), std::stod(rows[i][1])) << name << " record " << i;
        }
    }
    const auto stored = db->number("SELECT count(*) FROM events");
    EXPECT_EQ(report.data["summary"]["events"], stored);
    EXPECT_EQ(report.data["summary"]["datalog_records"], 2 * 3 * 300);
    EXPECT_EQ(report.data["summary"]["meters"], 2);
}

TEST_F(CollectedSite, SerialAndTimeSelectWhatIsShown) {
    const Report one = make_report(*db_, {"--serial", "2305001"});
    ASSERT_EQ(one.outcome.exit_status, 0) << one.outcome.err;
    ASSERT_EQ(one.data["meters"].size(), 1u);
    EXPECT_EQ(one.data["meters"][0]["serial"], 2305001);

    // The simulated logs end now, at 15-minute steps: the last two hours hold 8 records per log.
    const Report recent = make_report(*db_, {"--since", "2h", "--serial", "1201784"});
    ASSERT_EQ(recent.outcome.exit_status, 0) << recent.outcome.err;
    const auto records = recent.data["summary"]["datalog_records"].get<int>();
    EXPECT_GE(records, 3 * 7);
    EXPECT_LE(records, 3 * 9);
}

TEST_F(CollectedSite, PostgresReportHoldsTheSameData) {
    std::string uri;
    try {
        uri = collect_test::fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();  // a server that cannot start fails the test
    }
    collect_into(uri);
    Report from_postgres = make_report(uri);
    Report from_sqlite = make_report(*db_);
    ASSERT_EQ(from_postgres.outcome.exit_status, 0) << from_postgres.outcome.err;
    for (Report* r : {&from_postgres, &from_sqlite}) {
        r->data.erase("generated_at");
        // When the passes finished differs between the two collections; what they found does not.
        for (nlohmann::json& m : r->data["meters"]) {
            m.erase("last_collected");
            if (!m["collections"].is_object()) continue;
            m["collections"].erase("last");
            m["collections"].erase("latest_at");
        }
    }
    EXPECT_EQ(from_postgres.data, from_sqlite.data);
}

}  // namespace
}  // namespace report_test
