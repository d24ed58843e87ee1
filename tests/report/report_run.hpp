// SPDX-License-Identifier: MIT
// Helpers of the report's tests: the tool's report of a database with its embedded data,
// databases written through the collector's own store, and the page opened in headless Chromium.
#pragma once

#include "support/process.hpp"

#include "database/rows.hpp"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace report_test {

struct Report {
    cli_test::Outcome outcome;
    std::string path;
    std::string html;
    nlohmann::json data;  // the data embedded in the page
};

// Runs `kolvane report --db TARGET -o DIR/report.html ARGS...`.
Report make_report(const std::string& target, const std::vector<std::string>& args = {});

// The JSON the page draws from.
nlohmann::json embedded_data(const std::string& html);

// A chart of the report: meter `serial`, data log `file_id`, the chart of `unit`. Throws when
// missing.
const nlohmann::json& chart_of(const nlohmann::json& data, std::int64_t serial, int file_id,
                               const std::string& unit);
// The values of series `name` in `chart`.
const nlohmann::json& series_of(const nlohmann::json& chart, const std::string& name);

// A database with the collector's schema, written through the collector's store: a fresh SQLite
// file, or the database `target` names.
class StoredSite {
public:
    StoredSite();
    explicit StoredSite(const std::string& target);
    const std::string& path() const { return path_; }  // the --db target
    void meter(std::int64_t serial, const std::string& model = "em133",
               const std::string& clock_zone = "UTC");
    void meter(const kdb::MeterRow& row);
    void datalog(const kdb::DatalogBatch& batch);
    void events(const kdb::EventBatch& batch);
    void gap(const kdb::GapRow& gap);
    void collection(const kdb::CollectionRow& pass);
    // Stores `batch` and keeps its energy, as the collector does at a log's end.
    void collected(const kdb::DatalogBatch& batch, const std::string& zone);

private:
    std::string path_;
};

// A meter at 127.0.0.1 as the collector stores it, without a name.
kdb::MeterRow meter_row(std::int64_t serial, const std::string& model = "em133",
                        const std::string& clock_zone = "UTC");

// A data log row at `seconds` since 1970; `meter_time` is the meter's wall time, if any.
kdb::DatalogRow datalog_row(double seconds, int seq, std::vector<double> values,
                            const std::string& meter_time = "");
std::string utc(double seconds);

// What headless Chromium made of a page: the DOM after its scripts ran, and its own messages.
struct BrowserView {
    std::string dom;
    std::string log;
    int charts = -1;         // data-charts on <body>, -1 when the page never finished
    int errors = -1;         // data-errors on <body>
    std::vector<long> inks;  // data-ink of each chart, in page order
    // The data-* attributes of each chart's box, in page order, "data-" left out: kind, unit,
    // ink, xticks (the x axis labels, "|" between them), bars (bars drawn, energy charts).
    std::vector<std::map<std::string, std::string>> boxes;
};

// Opens `html_path` in headless Chromium; with `screenshot` set also writes a PNG there.
BrowserView open_in_browser(const std::string& html_path, const std::string& screenshot = "");

}  // namespace report_test
