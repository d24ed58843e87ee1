// SPDX-License-Identifier: MIT
// Names in MQTT topics and Home Assistant ids: what a broker and Home Assistant accept.
#pragma once

#include <string>

namespace kmqtt {

// The problem with `prefix` as the first levels of a topic (a '+' or '#', a NUL, an empty level,
// a leading '$' that brokers keep for themselves), empty when it has none.
std::string topic_prefix_problem(const std::string& prefix);

// `name` as one topic level and Home Assistant object id: lower case, [a-z0-9_-], any other byte
// '_'. "Main Board" is "main_board".
std::string topic_safe(const std::string& name);

// The problem with `name` (a hosts line's name=) as a meter's topic level: it has no letter or
// digit to tell it by; empty when it has none.
std::string meter_name_problem(const std::string& name);

}  // namespace kmqtt
