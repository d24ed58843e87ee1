// SPDX-License-Identifier: MIT
#include "report/collection_record.hpp"

#include "report/utc_time.hpp"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

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

// Keeps the list in order of finished_at, the newest LISTED_FAILURES: passes of a meter come
// in order, but those that did not name it join later.
void keep_newest(nlohmann::json& list, nlohmann::json entry) {
    const auto at = std::upper_bound(
        list.begin(), list.end(), entry, [](const nlohmann::json& a, const nlohmann::json& b) {
            return a["finished_at"].get<std::string>() < b["finished_at"].get<std::string>();
        });
    list.insert(at, std::move(entry));
    if (list.size() > LISTED_FAILURES) list.erase(list.begin());
}

bool failed(const kdb::CollectionRow& pass) {
    return pass.outcome == "failed" || !pass.error.empty();
}

// One pass of a meter, in any order: the latest is the one that finished last.
void add_pass(nlohmann::json& meter, const kdb::CollectionRow& pass, bool counted) {
    if (meter.is_null())
        meter = {{"last", nullptr},
                 {"passes", 0},
                 {"passes_with_warnings", 0},
                 {"failures", 0},
                 {"failed", nlohmann::json::array()}};
    const nlohmann::json warnings = warning_texts(pass.warnings);
    if (meter["last"].is_null() || pass.finished_at >= meter["latest_at"].get<std::string>()) {
        meter["last"] = {{"finished_at", pass.finished_at}, {"outcome", pass.outcome}};
        meter["latest_at"] = pass.finished_at;
        meter["latest_warnings"] = warnings;
    }
    if (!counted) return;
    meter["passes"] = meter["passes"].get<int>() + 1;
    if (!warnings.empty())
        meter["passes_with_warnings"] = meter["passes_with_warnings"].get<int>() + 1;
    if (failed(pass)) {
        meter["failures"] = meter["failures"].get<int>() + 1;
        keep_newest(
            meter["failed"],
            {{"finished_at", pass.finished_at}, {"outcome", pass.outcome}, {"error", pass.error}});
    }
}

using Address = std::tuple<std::string, int, int>;  // host, port, unit
Address address_of(const kdb::CollectionRow& pass) { return {pass.host, pass.port, pass.unit}; }

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

CollectionRecord read_collections(kdb::Database& reader, const kdb::Selection& selection,
                                  const std::vector<kdb::MeterPlace>& places) {
    CollectionRecord record;
    std::map<Address, std::int64_t> known;  // the meters table's: where each was seen last
    for (const kdb::MeterPlace& place : places)
        known[{place.host, place.port, place.unit}] = place.serial;
    std::map<Address, std::pair<std::string, std::int64_t>> named;  // newest pass naming a meter
    std::vector<kdb::CollectionRow> nameless;
    // Every pass of the selected meters: the latest may have come after the range.
    kdb::Selection meters = selection;
    meters.from.reset();
    meters.to.reset();
    reader.each_collection(meters, [&](const kdb::CollectionRow& pass) {
        if (!pass.serial) {
            nameless.push_back(pass);
            return;
        }
        auto [at, added] = named.try_emplace(address_of(pass), pass.finished_at, *pass.serial);
        if (!added && pass.finished_at >= at->second.first)
            at->second = {pass.finished_at, *pass.serial};
        record.names[*pass.serial] = pass.name;  // ordered by finished_at: the newest stays
        add_pass(record.meters[*pass.serial], pass, in_range(selection, pass.finished_at));
    });
    for (const kdb::CollectionRow& pass : nameless) {
        const bool counted = in_range(selection, pass.finished_at);
        const Address address = address_of(pass);
        if (const auto table = known.find(address); table != known.end()) {
            add_pass(record.meters[table->second], pass, counted);
        } else if (const auto seen = named.find(address); seen != named.end()) {
            add_pass(record.meters[seen->second.second], pass, counted);
        } else if (counted) {
            record.unidentified_failures += failed(pass);
            keep_newest(record.unidentified, {{"finished_at", pass.finished_at},
                                              {"host", pass.host},
                                              {"port", pass.port},
                                              {"unit", pass.unit},
                                              {"name", pass.name},
                                              {"outcome", pass.outcome},
                                              {"error", pass.error}});
        }
    }
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
