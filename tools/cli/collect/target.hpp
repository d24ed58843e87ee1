// SPDX-License-Identifier: MIT
// A meter to collect: where it is, what it is, and how to talk to it.
#pragma once

#include "common/host_port.hpp"
#include "common/meter_options.hpp"

#include <string>

namespace kcollect {

struct Target {
    std::string host;
    int port = kcli::MODBUS_TCP_PORT;
    int unit = 1;                // the Modbus unit id
    std::string meter;           // model name for the library
    std::string name;            // the hosts file's name for the meter, may be empty
    std::string zone;            // the zone of the meter's clock
    kcli::MeterOptions options;  // port, unit and gap included
};

}  // namespace kcollect
