// SPDX-License-Identifier: MIT
#include "traffic.hpp"

namespace kbench {

std::vector<Transaction> from_journal(const std::vector<ksim::Request>& journal) {
    std::vector<Transaction> traffic;
    traffic.reserve(journal.size());
    for (const ksim::Request& r : journal)
        traffic.push_back({r.function, r.address, r.quantity, r.values});
    return traffic;
}

bool operator==(const Transaction& a, const Transaction& b) {
    return a.function == b.function && a.address == b.address && a.quantity == b.quantity &&
           a.values == b.values;
}

}  // namespace kbench
