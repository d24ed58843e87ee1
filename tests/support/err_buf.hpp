// SPDX-License-Identifier: MIT
// An error buffer pre-filled with a marker, so tests see exactly which bytes a call wrote.
#pragma once

#include <cstring>
#include <string>

namespace ktest {

struct ErrBuf {
    static constexpr int size = 256;
    char data[size];
    ErrBuf() {
        std::memset(data, '#', size - 1);
        data[size - 1] = '\0';
    }
    std::string text() const { return data; }
};

}  // namespace ktest
