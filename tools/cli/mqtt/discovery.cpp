// SPDX-License-Identifier: MIT
#include "mqtt/discovery.hpp"

#include <nlohmann/json.hpp>

namespace kmqtt {

std::vector<Announcement> discovery(const std::string& discovery_prefix, const MeterTopics& topics,
                                    const MeterIdentity& identity, const std::string& site_name,
                                    const LiveValues& live) {
    using nlohmann::json;
    const std::string node = "kolvane_" + std::to_string(identity.serial);
    const json device{
        {"identifiers", json::array({node})},
        {"name",
         site_name.empty() ? identity.model + " " + std::to_string(identity.serial) : site_name},
        {"model", identity.model},
        {"serial_number", std::to_string(identity.serial)},
        {"sw_version", identity.firmware}};
    // Unavailable while the program is gone (its last will) or the meter does not answer.
    const json availability = json::array({{{"topic", topics.status()},
                                            {"payload_available", "online"},
                                            {"payload_not_available", "offline"}},
                                           {{"topic", topics.availability()},
                                            {"payload_available", "online"},
                                            {"payload_not_available", "offline"}}});
    std::vector<Announcement> announced;
    for (const Quantity& q : live.quantities) {
        json config{{"name", q.name},
                    {"unique_id", node + "_" + q.key},
                    {"state_topic", topics.live()},
                    {"value_template", "{{ value_json.quantities['" + q.key + "'].value }}"},
                    {"state_class", q.kind.state_class},
                    {"availability", availability},
                    {"availability_mode", "all"},
                    {"device", device},
                    {"origin", {{"name", "kolvane"}}}};
        if (!q.kind.device_class.empty()) config["device_class"] = q.kind.device_class;
        if (!q.kind.unit.empty()) config["unit_of_measurement"] = q.kind.unit;
        announced.push_back(
            {discovery_prefix + "/sensor/" + node + "/" + q.key + "/config", config.dump()});
    }
    return announced;
}

}  // namespace kmqtt
