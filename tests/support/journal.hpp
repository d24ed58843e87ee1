// SPDX-License-Identifier: MIT
// The simulator's journal as register traffic tests compare it, in arrival order: as function,
// address and quantity of each request, or as short texts that read like the register map.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "simulator.hpp"

namespace ktest {

struct Op {
    int function = 0;
    uint16_t address = 0;
    uint16_t quantity = 0;
    bool operator==(const Op&) const = default;
};

inline Op read_op(uint16_t address, uint16_t quantity) { return {3, address, quantity}; }

inline void PrintTo(const Op& op, std::ostream* os) {
    *os << "FC" << op.function << " @" << op.address << " x" << op.quantity;
}

inline std::vector<Op> ops(const ksim::Simulator& sim) {
    std::vector<Op> result;
    for (const ksim::Request& r : sim.journal())
        result.push_back({r.function, r.address, r.quantity});
    return result;
}

// Only the reads whose start address lies in [first, last].
inline std::vector<Op> reads_within(const ksim::Simulator& sim, uint16_t first, uint16_t last) {
    std::vector<Op> result;
    for (const Op& op : ops(sim)) {
        if (op.function == 3 && op.address >= first && op.address <= last) result.push_back(op);
    }
    return result;
}

// One request as "FC3 63152 8" (read: address, count) or "FC16 63120 [11,1,0,0,0,0]" /
// "FC6 63120 [1]" (writes: address, values).
inline std::string describe(const ksim::Request& request) {
    std::string line =
        "FC" + std::to_string(request.function) + " " + std::to_string(request.address);
    if (request.function == 3) return line + " " + std::to_string(request.quantity);
    line += " [";
    for (size_t i = 0; i < request.values.size(); ++i) {
        if (i > 0) line += ',';
        line += std::to_string(request.values[i]);
    }
    return line + "]";
}

// The traffic of one connection (1 for the first accepted), or of all when connection is 0.
inline std::vector<std::string> traffic(const ksim::Simulator& sim, uint64_t connection = 0) {
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

}  // namespace ktest
