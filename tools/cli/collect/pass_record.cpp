// SPDX-License-Identifier: MIT
#include "collect/pass_record.hpp"

#include "common/meter_clock.hpp"

#include <chrono>

namespace kcollect {
namespace {

std::string outcome_of(const nlohmann::ordered_json& line) {
    if (line.value("busy", false)) return "busy";
    if (line.contains("error")) return "failed";
    return line.value("complete", false) ? "complete" : "incomplete";
}

// Every log's entry of the line, the event log with file id 0.
std::string logs_of(const nlohmann::ordered_json& line) {
    nlohmann::ordered_json logs = line.value("datalog", nlohmann::ordered_json::array());
    if (line.contains("eventlog")) {
        nlohmann::ordered_json events = {{"file_id", 0}};
        events.update(line["eventlog"]);
        logs.push_back(events);
    }
    return logs.dump();
}

}  // namespace

std::string now_utc() {
    return kcli::utc_text(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count());
}

kdb::CollectionRow pass_record(const nlohmann::ordered_json& line, const std::string& started_utc,
                               const std::string& finished_utc) {
    kdb::CollectionRow row;
    row.started_at = started_utc;
    row.finished_at = finished_utc;
    row.host = line.value("host", "");
    row.port = line.value("port", 0);
    row.unit = line.value("unit", 1);
    row.name = line.value("name", "");
    row.transport = line.value("transport", "tcp");
    if (line.contains("serial")) row.serial = line["serial"].get<std::int64_t>();
    row.outcome = outcome_of(line);
    row.error = line.value("error", "");
    row.logs = logs_of(line);
    if (line.contains("newest_record")) {
        row.newest_record = line["newest_record"].get<std::string>();
        row.newest_age_s =
            static_cast<double>(kcli::utc_ms(finished_utc) - kcli::utc_ms(*row.newest_record)) /
            1000;
    }
    row.warnings = line.value("warnings", nlohmann::ordered_json::array()).dump();
    return row;
}

}  // namespace kcollect
