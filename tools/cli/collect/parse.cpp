// SPDX-License-Identifier: MIT
#include "collect/parse.hpp"

#include <nlohmann/json.hpp>

namespace kcollect {

using nlohmann::json;

kdb::MeterRow parse_identity(const std::string& info, const std::string& host, int port) {
    const json doc = json::parse(info);
    kdb::MeterRow meter;
    meter.serial = doc.at("serial").get<std::int64_t>();
    meter.model = doc.at("meter").get<std::string>();
    meter.model_name = doc.value("model_name", "");
    const json& firmware = doc.at("firmware");
    meter.firmware = std::to_string(firmware.at("version").get<int>()) + "." +
                     std::to_string(firmware.at("build").get<int>());
    meter.host = host;
    meter.port = port;
    meter.info = info;
    return meter;
}

void parse_log_directory(const std::string& document, kdb::MeterRow& meter) {
    const json doc = json::parse(document);  // kept: a range over a temporary's member would dangle
    for (const json& entry : doc.at("logs")) {
        kdb::MeterRow::Log log;
        log.file_id = entry.at("file_id").get<int>();
        log.type = entry.at("type").get<std::string>();
        log.records = entry.at("records").get<int>();
        for (const json& c : entry.value("columns", json::array()))
            log.columns.push_back(
                {c.at("name").get<std::string>(), c.at("unit").get<std::string>()});
        meter.logs.push_back(std::move(log));
    }
}

std::vector<kdb::Column> parse_datalog_header(const std::string& header) {
    std::vector<kdb::Column> columns;
    const json doc = json::parse(header);
    for (const json& c : doc.at("columns"))
        columns.push_back({c.at("name").get<std::string>(), c.at("unit").get<std::string>()});
    return columns;
}

kdb::DatalogRow parse_datalog_record(const std::string& record) {
    const json r = json::parse(record);
    kdb::DatalogRow row;
    row.recorded_at = r.at("timestamp").get<std::string>();
    row.seq = r.at("seq").get<int>();
    row.trigger = r.at("trigger").get<std::string>();
    row.values = r.at("values").get<std::vector<double>>();
    return row;
}

kdb::EventRow parse_event_record(const std::string& record) {
    const json r = json::parse(record);
    kdb::EventRow e;
    e.recorded_at = r.at("timestamp").get<std::string>();
    e.seq = r.at("seq").get<int>();
    e.event_no = r.at("event_no").get<int>();
    e.cause = r.at("cause").get<std::string>();
    e.point = r.at("point").get<std::string>();
    e.state = r.at("state").get<std::string>();
    e.effect = r.at("effect").get<std::string>();
    e.target = r.at("target").get<std::string>();
    e.source_id = r.at("source_id").get<int>();
    e.effect_id = r.at("effect_id").get<int>();
    e.value_triggered = r.at("value_triggered").get<std::int64_t>();
    return e;
}

kdb::ReadingBatch parse_readings(const std::string& document, std::int64_t serial) {
    const json doc = json::parse(document);
    kdb::ReadingBatch batch;
    batch.serial = serial;
    batch.taken_at = doc.at("timestamp").get<std::string>();
    for (const json& r : doc.at("readings")) {
        batch.rows.push_back({r.at("pid").get<int>(), r.at("name").get<std::string>(),
                              r.value("unit", ""), r.at("value").get<double>()});
    }
    return batch;
}

bool is_header(const std::string& text) { return text.rfind("{\"type\":\"header\"", 0) == 0; }

}  // namespace kcollect
