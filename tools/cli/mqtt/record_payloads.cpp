// SPDX-License-Identifier: MIT
#include "mqtt/record_payloads.hpp"

#include <nlohmann/json.hpp>

namespace kmqtt {
namespace {

// The meter's wall time, null for records stored before it was kept.
nlohmann::json wall_time(const std::string& meter_time) {
    return meter_time.empty() ? nlohmann::json() : nlohmann::json(meter_time);
}

}  // namespace

std::string datalog_payload(std::int64_t serial, int file_id, const kdb::DatalogRecord& record) {
    nlohmann::json values = nlohmann::json::array();
    for (std::size_t i = 0; i < record.values.size(); ++i)
        values.push_back({{"name", record.columns[i].name},
                          {"unit", record.columns[i].unit},
                          {"value", record.values[i]}});
    return nlohmann::json{{"serial", serial},
                          {"file_id", file_id},
                          {"seq", record.seq},
                          {"time", record.recorded_at},
                          {"meter_time", wall_time(record.meter_time)},
                          {"values", values}}
        .dump();
}

std::string event_payload(std::int64_t serial, const kdb::EventRow& event) {
    return nlohmann::json{{"serial", serial},
                          {"seq", event.seq},
                          {"time", event.recorded_at},
                          {"meter_time", wall_time(event.meter_time)},
                          {"event_no", event.event_no},
                          {"cause", event.cause},
                          {"point", event.point},
                          {"state", event.state},
                          {"effect", event.effect},
                          {"target", event.target},
                          {"value_triggered", event.value_triggered}}
        .dump();
}

}  // namespace kmqtt
