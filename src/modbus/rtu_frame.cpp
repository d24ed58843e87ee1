// SPDX-License-Identifier: MIT
#include "modbus/rtu_frame.hpp"

namespace kolvane {

uint16_t rtu_crc(const uint8_t* bytes, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> rtu_frame(uint8_t unit, const std::vector<uint8_t>& pdu) {
    std::vector<uint8_t> frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const uint16_t crc = rtu_crc(frame.data(), frame.size());
    frame.push_back(uint8_t(crc & 0xFF));
    frame.push_back(uint8_t(crc >> 8));
    return frame;
}

bool rtu_crc_matches(const uint8_t* frame, size_t size) {
    if (size < 4) return false;
    const uint16_t crc = rtu_crc(frame, size - 2);
    return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

size_t rtu_reply_size(uint8_t function, const uint8_t* head) {
    if (head[1] == (function | 0x80)) return 5;
    if (function == 0x03) return 5u + head[2];
    if (function == 0x06 || function == 0x10) return 8;
    return 0;
}

size_t rtu_expected_reply_size(const std::vector<uint8_t>& pdu) {
    if (pdu.size() >= 5 && pdu[0] == 0x03) return 5u + 2u * ((pdu[3] << 8) | pdu[4]);
    return 8;
}

RtuLineTiming RtuLineTiming::of(int baud, int parity, int stop_bits) {
    const int bits = 1 + 8 + (parity != 0 ? 1 : 0) + stop_bits;
    const std::chrono::nanoseconds char_time(int64_t(bits) * 1000000000 / baud);
    // Above 19200 baud the silence is fixed, as the character time no longer bounds a UART's
    // interrupt latency.
    const std::chrono::nanoseconds silence =
        baud > 19200 ? std::chrono::microseconds(1750) : char_time * 7 / 2;
    return {char_time, silence};
}

}  // namespace kolvane
