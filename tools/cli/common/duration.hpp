// SPDX-License-Identifier: MIT
// Durations as users write them (--every): "90s", "15m", "1h", or plain seconds.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kcli {

// Nothing for a text that is not a positive whole number with an optional s, m or h.
std::optional<std::chrono::seconds> parse_duration(const std::string& text);

}  // namespace kcli
