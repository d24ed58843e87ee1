// SPDX-License-Identifier: MIT
// Modbus RTU frames as they cross an RS-485 line: the unit's address, the PDU and a CRC-16, and
// the time the line needs to carry them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kolvane {

// CRC-16/Modbus of `size` bytes: reflected polynomial 0xA001, starting from 0xFFFF.
uint16_t rtu_crc(const uint8_t* bytes, size_t size);

// The unit's address, the PDU and the CRC, low byte first.
std::vector<uint8_t> rtu_frame(uint8_t unit, const std::vector<uint8_t>& pdu);

// True when the last two of `size` bytes are the CRC of those before them.
bool rtu_crc_matches(const uint8_t* frame, size_t size);

// The size of a whole reply to a request of function `function`, told by the reply's first
// three bytes (unit, function, byte count or first data byte): an exception is 5 bytes, a read
// 5 plus its byte count, a write 8. 0 for a function this client never asks.
size_t rtu_reply_size(uint8_t function, const uint8_t* head);

// The size of a normal reply to `pdu`, the longest the meter may send.
size_t rtu_expected_reply_size(const std::vector<uint8_t>& pdu);

// How a serial line carries characters.
struct RtuLineTiming {
    std::chrono::nanoseconds char_time;  // start bit, 8 data bits, parity or second stop bit, stop
    std::chrono::nanoseconds silence;    // between frames: 3.5 characters, 1.75 ms above 19200 baud

    // `parity` 0 none, else odd or even; `stop_bits` 1 or 2.
    static RtuLineTiming of(int baud, int parity, int stop_bits);
    std::chrono::nanoseconds bytes(size_t count) const { return char_time * int64_t(count); }
};

}  // namespace kolvane
