// The simulator's journal reduced to what register traffic tests compare: function, address
// and quantity of each request, in arrival order.
#pragma once

#include <cstdint>
#include <ostream>
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
    for (const ksim::Request& r : sim.journal()) result.push_back({r.function, r.address, r.quantity});
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

}  // namespace ktest
