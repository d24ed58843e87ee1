// SPDX-License-Identifier: MIT
// The number of descriptors the process holds, to show that nothing is left open.
#pragma once

#include <filesystem>

namespace ktest {

inline int open_descriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

}  // namespace ktest
