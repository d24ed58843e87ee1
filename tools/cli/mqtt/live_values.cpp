// SPDX-License-Identifier: MIT
#include "mqtt/live_values.hpp"

#include "common/record_restamp.hpp"
#include "mqtt/topic_names.hpp"

#include <nlohmann/json.hpp>

#include <set>

namespace kmqtt {

LiveValues live_values(const std::string& readings) {
    const nlohmann::json doc = nlohmann::json::parse(readings);
    LiveValues live;
    live.time = doc.at("timestamp").get<std::string>();
    std::set<std::string> keys;
    for (const nlohmann::json& reading : doc.at("readings")) {
        Quantity quantity;
        quantity.name = reading.at("name").get<std::string>();
        quantity.kind = sensor_kind(quantity.name, reading.value("unit", ""));
        quantity.value = reading.at("value").get<double>() * quantity.kind.factor;
        quantity.key = topic_safe(quantity.name);
        // Two names alike once made safe ("PF L1", "PF-L1") keep apart by the point's id.
        if (!keys.insert(quantity.key).second) {
            quantity.key += "_" + std::to_string(reading.at("pid").get<int>());
            keys.insert(quantity.key);
        }
        live.quantities.push_back(std::move(quantity));
    }
    return live;
}

std::string live_payload(std::int64_t serial, const LiveValues& live, const std::string& zone) {
    nlohmann::json payload{{"serial", serial}, {"time", live.time}};
    if (!zone.empty()) payload["meter_time"] = kcli::wall_time_at(live.time, zone);
    nlohmann::json& quantities = payload["quantities"] = nlohmann::json::object();
    for (const Quantity& q : live.quantities) {
        nlohmann::json& entry = quantities[q.key] = {{"name", q.name}, {"value", q.value}};
        entry["unit"] = q.kind.unit.empty() ? nlohmann::json() : nlohmann::json(q.kind.unit);
    }
    return payload.dump();
}

}  // namespace kmqtt
