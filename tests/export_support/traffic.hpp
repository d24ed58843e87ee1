// The simulator's journal as short texts, so a test spells out the register traffic it expects:
// "read 63152 x8", "write 2575 := 1" (function 6), "write 4352 := 0,1,2" (function 16).
#pragma once

#include <string>
#include <vector>

#include "simulator.hpp"

namespace kolvane_test {

inline std::string describe(const ksim::Request& request) {
    const std::string address = std::to_string(request.address);
    if (request.function == 3) return "read " + address + " x" + std::to_string(request.quantity);
    if (request.function == 6 || request.function == 16) {
        std::string text = "write " + address + " :=";
        for (size_t i = 0; i < request.values.size(); ++i) {
            text += (i == 0 ? " " : ",") + std::to_string(request.values[i]);
        }
        return text;
    }
    return "function " + std::to_string(request.function) + " " + address;
}

// The traffic of one connection (1 for the first accepted), or of all when connection is 0.
inline std::vector<std::string> traffic(const ksim::Simulator& sim, std::uint64_t connection = 0) {
    std::vector<std::string> lines;
    for (const ksim::Request& request : sim.journal()) {
        if (connection == 0 || request.connection == connection) lines.push_back(describe(request));
    }
    return lines;
}

// True when any request of the journal has this text.
inline bool any_request(const ksim::Simulator& sim, const std::string& text) {
    for (const std::string& line : traffic(sim)) {
        if (line == text) return true;
    }
    return false;
}

}  // namespace kolvane_test
