// SPDX-License-Identifier: MIT
// A caller buffer with guard bytes on both sides, to show the library never writes outside.
#pragma once

#include <cstring>
#include <vector>

class GuardedBuffer {
public:
    static constexpr size_t GUARD = 64;
    static constexpr unsigned char PATTERN = 0xA5;

    explicit GuardedBuffer(size_t size) : bytes_(size + 2 * GUARD, PATTERN) {}
    char* data() { return reinterpret_cast<char*>(bytes_.data() + GUARD); }
    int size() const { return int(bytes_.size() - 2 * GUARD); }
    bool guards_intact() const {
        for (size_t i = 0; i < GUARD; ++i) {
            if (bytes_[i] != PATTERN || bytes_[bytes_.size() - 1 - i] != PATTERN) return false;
        }
        return true;
    }
    bool untouched() const {
        for (const unsigned char byte : bytes_) {
            if (byte != PATTERN) return false;
        }
        return true;
    }

private:
    std::vector<unsigned char> bytes_;
};
