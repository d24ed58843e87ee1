// SPDX-License-Identifier: MIT
// Home Assistant MQTT discovery: one device per meter, one sensor per live quantity, each
// announced retained at <discovery-prefix>/sensor/kolvane_<serial>/<quantity>/config.
#pragma once

#include "mqtt/live_values.hpp"
#include "mqtt/meter_reading.hpp"

#include <string>
#include <vector>

namespace kmqtt {

// The topics of one meter under the program's prefix.
struct MeterTopics {
    std::string prefix;  // "kolvane"
    std::string meter;   // the meter's level: its name= made topic-safe, else its serial
    std::string status() const { return prefix + "/status"; }
    std::string live() const { return prefix + "/" + meter + "/live"; }
    std::string availability() const { return prefix + "/" + meter + "/availability"; }
    std::string datalog(int file_id) const {
        return prefix + "/" + meter + "/datalog/" + std::to_string(file_id);
    }
    std::string events() const { return prefix + "/" + meter + "/events"; }
};

struct Announcement {
    std::string topic;
    std::string payload;
};

// The sensors of a meter: `site_name` is its hosts line's name= (may be empty).
std::vector<Announcement> discovery(const std::string& discovery_prefix, const MeterTopics& topics,
                                    const MeterIdentity& identity, const std::string& site_name,
                                    const LiveValues& live);

}  // namespace kmqtt
