// SPDX-License-Identifier: MIT
#include "report/collection_record.hpp"

#include "report/utc_time.hpp"

#include <string>

namespace kreport {
namespace {

// Failed passes listed per meter, and passes of no known meter: the newest ones.
constexpr std::size_t LISTED_FAILURES = 20;

bool in_range(const kdb::Selection& selection, const std::string& time) {
    return (!selection.from || time >= *selection.from) && (!selection.to || time < *selection.to);
}

// A pass's warnings as texts; a column that is no JSON array of texts shows as it stands.
nlohmann::json warning_texts(const std::string& stored) {
    nlohmann::json list = nlohmann::json::parse(stored, nullptr, false);
    if (!list.is_array()) return stored.empty() ? nlohmann::json::array() : nlohmann::json{stored};
    for (nlohmann::json& warning : list)
        if (!warning.is_string()) warning = warning.dump();
    return list;
}

void keep_newest(nlohmann::json& list, nlohmann::json entry) {
    list.push_back(std::move(entry));
    if (list.size() > LISTED_FAILURES) list.erase(list.begin());
}

nlohmann::json& log_entry(nlohmann::json& logs, int file_id) {
    for (nlohmann::json& log : logs)
        if (log["file_id"] == file_id) return log;
    logs.push_back({{"file_id", file_id},
                    {"expected", 0},
                    {"present", 0},
                    {"missing", 0},
                    {"days", nlohmann::json::array()},
                    {"gaps", nlohmann::json::array()}});
    return logs.back();
}

}  // namespace

CollectionRecord read_collections(kdb::Database& reader, const kdb::Selection& selection) {
    CollectionRecord record;
    // Every pass of the selected meters: the latest may have come after the range.
    kdb::Selection meters = selection;
    meters.from.reset();
    meters.to.reset();
    reader.each_collection(meters, [&](const kdb::CollectionRow& pass) {
        const bool counted = in_range(selection, pass.finished_at);
        if (!pass.serial) {
            if (counted)
                keep_newest(record.unidentified, {{"finished_at", pass.finished_at},
                                                  {"host", pass.host},
                                                  {"port", pass.port},
                                                  {"unit", pass.unit},
                                                  {"name", pass.name},
                                                  {"outcome", pass.outcome},
                                                  {"error", pass.error}});
            return;
        }
        auto [at, added] = record.meters.try_emplace(*pass.serial);
        nlohmann::json& meter = at->second;
        if (added)
            meter = {{"passes", 0},
                     {"passes_with_warnings", 0},
                     {"failures", 0},
                     {"failed", nlohmann::json::array()}};
        const nlohmann::json warnings = warning_texts(pass.warnings);
        // Ordered by finished_at: each pass is the latest so far.
        meter["last"] = {{"finished_at", pass.finished_at}, {"outcome", pass.outcome}};
        meter["latest_at"] = pass.finished_at;
        meter["latest_warnings"] = warnings;
        if (!counted) return;
        meter["passes"] = meter["passes"].get<int>() + 1;
        if (!warnings.empty())
            meter["passes_with_warnings"] = meter["passes_with_warnings"].get<int>() + 1;
        if (pass.outcome == "failed" || !pass.error.empty()) {
            meter["failures"] = meter["failures"].get<int>() + 1;
            keep_newest(meter["failed"], {{"finished_at", pass.finished_at},
                                          {"outcome", pass.outcome},
                                          {"error", pass.error}});
        }
    });
    return record;
}

std::map<std::int64_t, nlohmann::json> read_completeness(
    kdb::Database& reader, const kdb::Selection& selection,
    const std::function<const ZoneClock&(std::int64_t serial)>& clock_of) {
    std::map<std::int64_t, nlohmann::json> meters;
    auto logs_of = [&](std::int64_t serial) -> nlohmann::json& {
        auto [at, added] = meters.try_emplace(serial);
        if (added) at->second = nlohmann::json::array();
        return at->second;
    };
    const auto from = selection.from ? epoch_seconds(*selection.from) : std::nullopt;
    const auto to = selection.to ? epoch_seconds(*selection.to) : std::nullopt;
    reader.each_day(selection, [&](const kdb::DayRow& day) {
        // The meter's days that overlap [from, to): from the one holding `from` to the one
        // holding the last instant before `to`.
        const ZoneClock& clock = clock_of(day.serial);
        if (from && day.day < clock.day_of(*from).date) return;
        if (to && day.day > clock.day_of(*to - 0.001).date) return;
        const std::int64_t missing = std::max<std::int64_t>(day.expected - day.present, 0);
        nlohmann::json& log = log_entry(logs_of(day.serial), day.file_id);
        log["days"].push_back({{"day", day.day},
                               {"expected", day.expected},
                               {"present", day.present},
                               {"missing", missing}});
        log["expected"] = log["expected"].get<std::int64_t>() + day.expected;
        log["present"] = log["present"].get<std::int64_t>() + day.present;
        log["missing"] = log["missing"].get<std::int64_t>() + missing;
    });
    reader.each_gap(selection, [&](const kdb::GapRow& gap) {
        log_entry(logs_of(gap.serial), gap.file_id)["gaps"].push_back({{"from", gap.gap_from},
                                                                       {"to", gap.gap_to},
                                                                       {"missing", gap.missing},
                                                                       {"cause", gap.cause}});
    });
    return meters;
}

}  // namespace kreport
