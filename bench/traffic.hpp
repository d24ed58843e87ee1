// SPDX-License-Identifier: MIT
// The Modbus transactions of one data log read, captured from the simulator's journal so that
// the comparison clients make exactly the library's requests.
#pragma once

#include <cstdint>
#include <vector>

#include "simulator.hpp"

namespace kbench {

struct Transaction {
    std::uint8_t function;  // 3 read, 6 write single, 16 write multiple
    std::uint16_t address;
    std::uint16_t quantity;
    std::vector<std::uint16_t> values;  // written words
};

std::vector<Transaction> from_journal(const std::vector<ksim::Request>& journal);
bool operator==(const Transaction& a, const Transaction& b);

// The comparison clients: each connects to 127.0.0.1:port, makes every transaction in order and
// return how much they received (words for libmodbus, bytes for the raw client). They throw
// std::runtime_error on any failure.
// libmodbus: the values are decoded into 16-bit words and nothing else is done.
std::uint64_t replay_libmodbus(std::uint16_t port, const std::vector<Transaction>& traffic);
// Raw socket: prepared request frames out, replies read whole and not looked at (the floor).
std::uint64_t replay_raw(std::uint16_t port, const std::vector<Transaction>& traffic);

}  // namespace kbench
