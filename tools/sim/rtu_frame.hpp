// SPDX-License-Identifier: MIT
// Modbus RTU framing: the CRC, a frame around a PDU, the length of a request told by its function,
// and the timing of characters on a serial line.
#pragma once

#include "simulator.hpp"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ksim {

// CRC-16/Modbus: reflected polynomial 0xA001, initial value 0xFFFF.
inline std::uint16_t rtu_crc(const std::uint8_t* bytes, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

// Unit address, PDU, CRC (low byte first).
inline std::vector<std::uint8_t> rtu_frame(std::uint8_t unit,
                                           const std::vector<std::uint8_t>& pdu) {
    std::vector<std::uint8_t> frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const std::uint16_t crc = rtu_crc(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// True when the frame (address, PDU, CRC) is at least 4 bytes and its CRC matches.
inline bool rtu_crc_ok(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 4) return false;
    const std::size_t n = frame.size() - 2;
    const std::uint16_t crc = rtu_crc(frame.data(), n);
    return frame[n] == (crc & 0xFF) && frame[n + 1] == (crc >> 8);
}

// The whole length of the request frame that begins with `head`, as its function tells it:
// nullopt while too few bytes are there to tell, 0 for a function whose requests the meter cannot
// measure (such a frame ends at the line's silence).
inline std::optional<std::size_t> rtu_request_length(const std::vector<std::uint8_t>& head) {
    if (head.size() < 2) return std::nullopt;
    switch (head[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
            return 8;  // address, function, two 16-bit fields, CRC
        case 15:
        case 16:
            if (head.size() < 7) return std::nullopt;
            return 9 + std::size_t{head[6]};  // ... quantity, byte count, data, CRC
        default:
            return 0;
    }
}

// Bits per character: start, 8 data, parity when there is one, stop bits.
inline int rtu_bits_per_char(const RtuLine& line) {
    return 1 + 8 + (line.parity == 'N' ? 0 : 1) + line.stop_bits;
}

inline std::chrono::nanoseconds rtu_char_time(const RtuLine& line) {
    return std::chrono::nanoseconds(1'000'000'000LL * rtu_bits_per_char(line) / line.baud);
}

// The silence between frames: 3.5 characters, fixed at 1.75 ms above 19200 baud.
inline std::chrono::nanoseconds rtu_frame_gap(const RtuLine& line) {
    if (line.baud > 19200) return std::chrono::microseconds(1750);
    return rtu_char_time(line) * 7 / 2;
}

}  // namespace ksim
