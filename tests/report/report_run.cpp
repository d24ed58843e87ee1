// SPDX-License-Identifier: MIT
#include "report_run.hpp"

#include "energy/kept_energy.hpp"

#include "database/database.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <regex>
#include <stdexcept>

namespace report_test {
namespace {

const std::vector<std::string> CHROMIUM{"/usr/bin/timeout",
                                        "120",
                                        "/usr/bin/chromium",
                                        "--headless",
                                        "--no-sandbox",
                                        "--disable-gpu",
                                        "--disable-quic",
                                        "--no-first-run",
                                        "--disable-background-networking",
                                        "--disable-component-update",
                                        "--disable-sync",
                                        "--enable-logging=stderr",
                                        "--v=0",
                                        "--virtual-time-budget=5000"};

int counter() {
    static int next = 0;
    return ++next;
}

std::unique_ptr<kdb::Database> store(const std::string& target) {
    return kdb::open_database(*kdb::parse_target(target), kdb::Access::COLLECT);
}

int attribute(const std::string& dom, const std::string& name) {
    std::smatch m;
    if (!std::regex_search(dom, m, std::regex("<body[^>]*\\s" + name + "=\"(\\d+)\""))) return -1;
    return std::stoi(m[1]);
}

}  // namespace

Report make_report(const std::string& target, const std::vector<std::string>& args) {
    Report report;
    report.path = cli_test::fresh_dir("report" + std::to_string(counter())) + "/report.html";
    std::vector<std::string> all{"report", "--db", target, "-o", report.path};
    all.insert(all.end(), args.begin(), args.end());
    report.outcome = cli_test::run_tool(all);
    report.html = cli_test::read_file(report.path);
    if (report.outcome.exit_status == 0) report.data = embedded_data(report.html);
    return report;
}

nlohmann::json embedded_data(const std::string& html) {
    const std::string open = "<script type=\"application/json\" id=\"kolvane-data\">";
    const std::size_t start = html.find(open);
    const std::size_t end = html.find("</script>", start);
    if (start == std::string::npos || end == std::string::npos)
        throw std::runtime_error("no embedded data");
    return nlohmann::json::parse(html.substr(start + open.size(), end - start - open.size()));
}

const nlohmann::json& chart_of(const nlohmann::json& data, std::int64_t serial, int file_id,
                               const std::string& unit) {
    for (const nlohmann::json& m : data.at("meters"))
        if (m.at("serial") == serial)
            for (const nlohmann::json& log : m.at("datalogs"))
                if (log.at("file_id") == file_id)
                    for (const nlohmann::json& chart : log.at("charts"))
                        if (chart.at("unit") == unit) return chart;
    throw std::runtime_error("no chart of " + unit + " in log " + std::to_string(file_id) + " of " +
                             std::to_string(serial));
}

const nlohmann::json& series_of(const nlohmann::json& chart, const std::string& name) {
    for (const nlohmann::json& s : chart.at("series"))
        if (s.at("name") == name) return s.at("values");
    throw std::runtime_error("no series " + name);
}

StoredSite::StoredSite()
    : StoredSite(cli_test::fresh_dir("stored" + std::to_string(counter())) + "/site.db") {}

StoredSite::StoredSite(const std::string& target) : path_(target) {
    store(path_);  // the schema, no rows
}

kdb::MeterRow meter_row(std::int64_t serial, const std::string& model,
                        const std::string& clock_zone) {
    kdb::MeterRow row;
    row.serial = serial;
    row.model = model;
    row.model_name = model == "em133" ? "EM133" : "EM235";
    row.firmware = "3.12";
    row.host = "127.0.0.1";
    row.clock_zone = clock_zone;
    row.info = "{}";
    return row;
}

void StoredSite::meter(std::int64_t serial, const std::string& model,
                       const std::string& clock_zone) {
    meter(meter_row(serial, model, clock_zone));
}

void StoredSite::meter(const kdb::MeterRow& row) { store(path_)->save_meter(row); }
void StoredSite::datalog(const kdb::DatalogBatch& batch) { store(path_)->save_datalog(batch); }
void StoredSite::events(const kdb::EventBatch& batch) { store(path_)->save_events(batch); }
void StoredSite::gap(const kdb::GapRow& gap) { store(path_)->save_gap(gap); }
void StoredSite::collection(const kdb::CollectionRow& pass) { store(path_)->save_collection(pass); }

void StoredSite::collected(const kdb::DatalogBatch& batch, const std::string& zone) {
    const auto db = store(path_);
    db->save_datalog(batch);
    kenergy::NewRecords records{batch.serial, batch.file_id, zone, {}, std::nullopt};
    if (!batch.rows.empty()) records.first = batch.rows.front().recorded_at;
    for (const kdb::Column& column : batch.columns)
        records.counters.push_back({column.name, column.unit});
    kenergy::keep_energy(*db, records);
}

std::string utc(double seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
    return text;
}

kdb::DatalogRow datalog_row(double seconds, int seq, std::vector<double> values,
                            const std::string& meter_time) {
    // The values array as the collector stored it from the library's text before.
    return {utc(seconds), seq, "periodic", nlohmann::json(values).dump(), meter_time};
}

BrowserView open_in_browser(const std::string& html_path, const std::string& screenshot) {
    const std::string profile = cli_test::fresh_dir("chromium" + std::to_string(counter()));
    std::vector<std::string> argv = CHROMIUM;
    argv.push_back("--user-data-dir=" + profile);
    argv.insert(argv.end(), {"--dump-dom", "file://" + html_path});
    const cli_test::Outcome dumped = cli_test::Process(argv).finish();
    if (dumped.exit_status != 0)
        throw std::runtime_error("chromium failed (" + std::to_string(dumped.exit_status) +
                                 "): " + dumped.err);
    BrowserView view{dumped.out,
                     dumped.err,
                     attribute(dumped.out, "data-charts"),
                     attribute(dumped.out, "data-errors"),
                     {},
                     {}};
    const std::regex box("<div class=\"chart\"([^>]*)>");
    const std::regex data_attribute("data-([a-z]+)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(view.dom.begin(), view.dom.end(), box);
         it != std::sregex_iterator(); ++it) {
        const std::string attributes = (*it)[1];
        std::map<std::string, std::string>& found = view.boxes.emplace_back();
        for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), data_attribute);
             a != std::sregex_iterator(); ++a)
            found[(*a)[1]] = (*a)[2];
        if (found.count("ink")) view.inks.push_back(std::stol(found["ink"]));
    }
    if (!screenshot.empty()) {
        argv = CHROMIUM;
        argv.insert(argv.end(),
                    {"--user-data-dir=" + profile, "--hide-scrollbars", "--window-size=1200,1500",
                     "--screenshot=" + screenshot, "file://" + html_path});
        const cli_test::Outcome shot = cli_test::Process(argv).finish();
        if (shot.exit_status != 0)
            throw std::runtime_error("chromium screenshot failed: " + shot.err);
    }
    return view;
}

}  // namespace report_test
