// SPDX-License-Identifier: MIT
// kolvane mqtt: the meters' live values, availability and Home Assistant discovery, and with
// --db the collected records, published to an MQTT broker until stopped.
#pragma once

namespace CLI {
class App;
}  // namespace CLI

namespace kmqtt {

void add_mqtt_command(CLI::App& app, int& status);

}  // namespace kmqtt
