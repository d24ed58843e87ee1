// SPDX-License-Identifier: MIT
#include "report/report_model.hpp"

#include "report/collection_record.hpp"
#include "report/log_series.hpp"
#include "report/utc_time.hpp"
#include "report/zone_time.hpp"

#include <algorithm>
#include <ctime>
#include <deque>
#include <map>
#include <stdexcept>

namespace kreport {
namespace {

// The most recent events listed in each meter's table.
constexpr std::size_t RECENT_EVENTS = 25;
// How far beyond the times shown the page gets each zone's offsets: the axes' ends.
constexpr double ZONE_MARGIN = 2 * 86400.0;

double time_of(const std::string& text) {
    const auto seconds = epoch_seconds(text);
    if (!seconds) throw std::runtime_error("unexpected time in the database: " + text);
    return *seconds;
}

struct Span {
    double first = 0, last = 0;
    bool any = false;
    void take(double from, double to) {
        first = any ? std::min(first, from) : from;
        last = any ? std::max(last, to) : to;
        any = true;
    }
};

// How the report names a meter wherever it names one: the site's name, then the serial.
std::string meter_label(std::int64_t serial, const std::string& name) {
    const std::string number = std::to_string(serial);
    return name.empty() ? number : name + " \u2014 " + number;
}

nlohmann::json meter_entry(const kdb::MeterIdentity& m, const ZoneClock& clock) {
    nlohmann::json entry{{"serial", m.serial},
                         {"name", ""},
                         {"label", meter_label(m.serial, "")},
                         {"model", m.model},
                         {"model_name", m.model_name},
                         {"firmware", m.firmware},
                         {"host", m.host},
                         {"port", m.port},
                         {"last_collected", m.last_seen},
                         {"last_outcome", nullptr},
                         {"collections", nullptr},
                         {"completeness", nlohmann::json::array()},
                         {"clock_zone", clock.name()},
                         {"datalogs", nlohmann::json::array()},
                         {"events", nullptr}};
    if (!clock.known()) entry["unknown_clock_zone"] = m.clock_zone;
    return entry;
}

nlohmann::json event_entry(const kdb::EventRow& e) {
    return {{"recorded_at", e.recorded_at},
            {"seq", e.seq},
            {"event_no", e.event_no},
            {"cause", e.cause},
            {"point", e.point},
            {"state", e.state},
            {"effect", e.effect},
            {"target", e.target},
            {"value_triggered", e.value_triggered}};
}

// The event log of one meter: a timeline by cause and the latest events.
class EventSummary {
public:
    void add(const kdb::EventRow& e) {
        const double t = time_of(e.recorded_at);
        span.take(t, t);
        auto [at, added] = cause_index_.try_emplace(e.cause, causes_.size());
        if (added) causes_.push_back(e.cause);
        x_.push_back(t);
        cause_.push_back(static_cast<int>(at->second));
        recent_.push_back(event_entry(e));
        if (recent_.size() > RECENT_EVENTS) recent_.pop_front();
        ++count;
    }
    nlohmann::json json() const {
        nlohmann::json recent = nlohmann::json::array();
        for (auto e = recent_.rbegin(); e != recent_.rend(); ++e) recent.push_back(*e);
        return {{"count", count},
                {"first", utc_text(span.first)},
                {"last", utc_text(span.last)},
                {"causes", causes_},
                {"timeline", {{"x", x_}, {"cause", cause_}}},
                {"recent", std::move(recent)}};
    }

    Span span;
    std::size_t count = 0;

private:
    std::vector<std::string> causes_;
    std::map<std::string, std::size_t> cause_index_;
    std::vector<double> x_;
    std::vector<int> cause_;
    std::deque<nlohmann::json> recent_;
};

// The gaps as the collector stored them (the gaps view, read into each meter's completeness):
// the summary's list and counts, and each data log's count. Null counts where the database has
// no such view (schema versions before 5): the gaps are not known, not none.
struct GapSummary {
    nlohmann::json count, missing, list = nlohmann::json::array();
};

GapSummary summarize_gaps(std::map<std::int64_t, nlohmann::json>& meters, bool stored) {
    GapSummary summary;
    if (!stored) return summary;
    std::int64_t missing = 0;
    for (auto& [serial, entry] : meters) {
        // The view's order: by file id, each log's gaps by their start.
        std::vector<const nlohmann::json*> logs;
        for (const nlohmann::json& log : entry["completeness"]) logs.push_back(&log);
        std::stable_sort(logs.begin(), logs.end(), [](const auto* a, const auto* b) {
            return (*a)["file_id"].template get<int>() < (*b)["file_id"].template get<int>();
        });
        for (const nlohmann::json* log : logs)
            for (const nlohmann::json& gap : (*log)["gaps"]) {
                summary.list.push_back({{"serial", serial},
                                        {"meter", entry["label"]},
                                        {"file_id", (*log)["file_id"]},
                                        {"from", gap["from"]},
                                        {"to", gap["to"]},
                                        {"missing", gap["missing"]},
                                        {"cause", gap["cause"]}});
                missing += gap["missing"].get<std::int64_t>();
            }
        for (nlohmann::json& datalog : entry["datalogs"]) {
            datalog["gaps"] = 0;
            for (const nlohmann::json* log : logs)
                if ((*log)["file_id"] == datalog["file_id"])
                    datalog["gaps"] = (*log)["gaps"].size();
        }
    }
    summary.count = summary.list.size();
    summary.missing = missing;
    return summary;
}

}  // namespace

nlohmann::json build_report(kdb::Database& reader, const kdb::Selection& selection) {
    std::map<std::string, ZoneClock> clocks;  // by the zone names the meters give
    std::map<std::int64_t, nlohmann::json> meters;
    std::map<std::int64_t, const ZoneClock*> meter_clocks;
    auto add_meter = [&](const kdb::MeterIdentity& m) -> nlohmann::json& {
        const ZoneClock& clock = clocks.try_emplace(m.clock_zone, m.clock_zone).first->second;
        meter_clocks[m.serial] = &clock;
        return meters[m.serial] = meter_entry(m, clock);
    };
    for (const kdb::MeterIdentity& m : reader.meters(selection)) add_meter(m);
    // Rows of a meter missing from the meters table still show, under their serial.
    auto meter = [&](std::int64_t serial) -> nlohmann::json& {
        const auto found = meters.find(serial);
        if (found != meters.end()) return found->second;
        return add_meter(kdb::MeterIdentity{serial, "", "", "", "", 0, "", "UTC"});
    };

    Span span;
    std::size_t records = 0, events = 0;

    // One log at a time: the rows come ordered by meter and log, so memory holds one log.
    std::int64_t serial = 0;
    int file_id = -1;
    LogSeries log;
    auto finish_log = [&] {
        if (log.records() == 0) return;
        records += log.records();
        span.take(log.first_time(), log.last_time());
        nlohmann::json& entry = meter(serial);
        entry["datalogs"].push_back({{"file_id", file_id},
                                     {"records", log.records()},
                                     {"first", utc_text(log.first_time())},
                                     {"last", utc_text(log.last_time())},
                                     {"interval_s", log.interval()},
                                     {"gaps", nullptr},
                                     {"charts", log.charts(*meter_clocks[serial])}});
        log = LogSeries();
    };
    reader.each_value(selection, [&](const kdb::ValueRow& row) {
        if (row.serial != serial || row.file_id != file_id) {
            finish_log();
            serial = row.serial, file_id = row.file_id;
        }
        log.add(time_of(row.recorded_at), row.seq, row.name, row.unit, row.value);
    });
    finish_log();

    std::map<std::int64_t, EventSummary> event_logs;
    reader.each_event(selection, [&](std::int64_t serial, const kdb::EventRow& row) {
        event_logs[serial].add(row);
    });
    for (const auto& [owner, summary] : event_logs) {
        meter(owner)["events"] = summary.json();
        events += summary.count;
        span.take(summary.span.first, summary.span.last);
    }

    // Last collected as the collections tell it; databases before them have only last_seen.
    const std::vector<kdb::MeterPlace> places = reader.meter_places();
    CollectionRecord collections = read_collections(reader, selection, places);
    for (auto& [owner, record] : collections.meters) {
        nlohmann::json& entry = meter(owner);
        entry["last_collected"] = record["last"]["finished_at"];
        entry["last_outcome"] = record["last"]["outcome"];
        entry["collections"] = std::move(record);
    }
    auto clock_of = [&](std::int64_t owner) -> const ZoneClock& {
        meter(owner);
        return *meter_clocks.at(owner);
    };
    for (auto& [owner, logs] : read_completeness(reader, selection, clock_of))
        meter(owner)["completeness"] = std::move(logs);

    // The site's names: the meters table's, else what the meter's newest pass was called.
    std::map<std::int64_t, std::string> names = std::move(collections.names);
    for (const kdb::MeterPlace& place : places) names[place.serial] = place.name;
    for (auto& [owner, entry] : meters) {
        entry["name"] = names[owner];
        entry["label"] = meter_label(owner, names[owner]);
    }
    const GapSummary gaps = summarize_gaps(meters, reader.schema_version() >= 5);
    std::size_t with_warnings = 0, with_missing = 0, failures = 0;
    for (const auto& [owner, entry] : meters) {
        const nlohmann::json& record = entry["collections"];
        if (!record.is_null()) {
            with_warnings +=
                record["passes_with_warnings"] > 0 || !record["latest_warnings"].empty();
            failures += record["failures"].get<std::size_t>();
        }
        bool missing_any = false;
        for (const nlohmann::json& log : entry["completeness"])
            missing_any = missing_any || log["missing"] > 0 || !log["gaps"].empty();
        with_missing += missing_any;
    }
    failures += collections.unidentified_failures;

    // The summary's times are in the meters' zone when they share one, else in UTC.
    std::string summary_zone;
    for (const auto& [owner, clock] : meter_clocks)
        summary_zone =
            summary_zone.empty() || summary_zone == clock->name() ? clock->name() : "UTC";
    if (summary_zone.empty()) summary_zone = "UTC";
    const double now = static_cast<double>(std::time(nullptr));
    const double first = (span.any ? std::min(span.first, now) : now) - ZONE_MARGIN;
    const double last = (span.any ? std::max(span.last, now) : now) + ZONE_MARGIN;
    nlohmann::json zones{{"UTC", ZoneClock("UTC").offsets(first, last)}};
    for (const auto& [name, clock] : clocks) zones[clock.name()] = clock.offsets(first, last);

    nlohmann::json report;
    report["generated_at"] = utc_text(now);
    report["zones"] = std::move(zones);
    report["selection"] = {{"from", selection.from.value_or("")},
                           {"to", selection.to.value_or("")},
                           {"serials", selection.serials}};
    report["summary"] = {{"meters", meters.size()},
                         {"datalog_records", records},
                         {"events", events},
                         {"first", span.any ? utc_text(span.first) : ""},
                         {"last", span.any ? utc_text(span.last) : ""},
                         {"zone", summary_zone},
                         {"gaps", gaps.count},
                         {"missing_records", gaps.missing},
                         {"gap_list", gaps.list},
                         {"meters_with_warnings", with_warnings},
                         {"meters_missing_records", with_missing},
                         {"failed_passes", failures},
                         {"unidentified_passes", std::move(collections.unidentified)}};
    report["meters"] = nlohmann::json::array();
    for (auto& [owner, entry] : meters) report["meters"].push_back(std::move(entry));
    return report;
}

}  // namespace kreport
