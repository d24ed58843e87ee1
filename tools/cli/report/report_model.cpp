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

nlohmann::json meter_entry(const kdb::MeterIdentity& m, const ZoneClock& clock) {
    nlohmann::json entry{{"serial", m.serial},
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
    std::size_t records = 0, events = 0, gap_count = 0;
    std::int64_t missing = 0;
    nlohmann::json gap_list = nlohmann::json::array();

    // One log at a time: the rows come ordered by meter and log, so memory holds one log.
    std::int64_t serial = 0;
    int file_id = -1;
    LogSeries log;
    auto finish_log = [&] {
        if (log.records() == 0) return;
        const nlohmann::json gaps = log.gaps();
        for (const nlohmann::json& gap : gaps) {
            gap_list.push_back({{"serial", serial},
                                {"file_id", file_id},
                                {"from", gap["from"]},
                                {"to", gap["to"]},
                                {"missing", gap["missing"]}});
            missing += gap["missing"].get<std::int64_t>();
        }
        gap_count += gaps.size();
        records += log.records();
        span.take(log.first_time(), log.last_time());
        nlohmann::json& entry = meter(serial);
        entry["datalogs"].push_back({{"file_id", file_id},
                                     {"records", log.records()},
                                     {"first", utc_text(log.first_time())},
                                     {"last", utc_text(log.last_time())},
                                     {"interval_s", log.interval()},
                                     {"gaps", gaps},
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
    CollectionRecord collections = read_collections(reader, selection);
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
    for (const nlohmann::json& pass : collections.unidentified)
        failures += pass["outcome"] == "failed";

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
                         {"gaps", gap_count},
                         {"missing_records", missing},
                         {"gap_list", std::move(gap_list)},
                         {"meters_with_warnings", with_warnings},
                         {"meters_missing_records", with_missing},
                         {"failed_passes", failures},
                         {"unidentified_passes", std::move(collections.unidentified)}};
    report["meters"] = nlohmann::json::array();
    for (auto& [owner, entry] : meters) report["meters"].push_back(std::move(entry));
    return report;
}

}  // namespace kreport
