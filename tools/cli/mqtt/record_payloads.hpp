// SPDX-License-Identifier: MIT
// Collected records as kolvane mqtt publishes them: a data log record at
// <prefix>/<meter>/datalog/<file_id>, an event at <prefix>/<meter>/events.
#pragma once

#include "database/rows.hpp"

#include <cstdint>
#include <string>

namespace kmqtt {

// {"serial":..,"file_id":1,"seq":..,"time":"..Z","meter_time":"..","values":[{"name":"V1",
// "unit":"V","value":230.1},..]}
std::string datalog_payload(std::int64_t serial, int file_id, const kdb::DatalogRecord& record);
// {"serial":..,"seq":..,"time":"..Z","meter_time":"..","event_no":..,"cause":..,"point":..,
// "state":..,"effect":..,"target":..,"value_triggered":..}
std::string event_payload(std::int64_t serial, const kdb::EventRow& event);

}  // namespace kmqtt
