// SPDX-License-Identifier: MIT
// The points text of a caller: any bytes give ids in readable families or a clean error.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "points/catalogue.hpp"
#include "points/points.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        for (const uint16_t pid : kolvane::parse_points(text.c_str())) {
            if (kolvane::family_of(pid) == nullptr) __builtin_trap();
        }
    } catch (const std::runtime_error&) {}
    return 0;
}
