// SPDX-License-Identifier: MIT
// Turns fuzz input bytes into 16-bit register words, high byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint16_t> to_words(const uint8_t* data, size_t size) {
    std::vector<uint16_t> words(size / 2);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint16_t((data[2 * i] << 8) | data[2 * i + 1]);
    return words;
}
