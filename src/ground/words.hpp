// SPDX-License-Identifier: MIT
// 32-bit quantities the meter holds in two 16-bit registers, the low half first.
#pragma once

#include <cstdint>

namespace kolvane {

constexpr uint32_t low_first(uint16_t low, uint16_t high) noexcept {
    return uint32_t(low) | (uint32_t(high) << 16);
}

}  // namespace kolvane
