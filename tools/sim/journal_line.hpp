// SPDX-License-Identifier: MIT
// The line kolvane-sim --journal prints for each request it answered.
#pragma once

#include <chrono>
#include <string>

#include "simulator.hpp"

namespace ksim {

// "+1.234s conn 2 unit 5 fc 3 addr 46080 qty 26 replied in 20.1 ms": the time the request arrived
// since `start`, then how it was answered: "replied in", "busy (exception 6) in", "refused with
// exception N in" (the time from arrival to the reply's last byte), or "unanswered".
std::string journal_line(const Request& request, std::chrono::steady_clock::time_point start);

}  // namespace ksim
