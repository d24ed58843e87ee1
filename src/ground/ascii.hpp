// SPDX-License-Identifier: MIT
// ASCII classification, well defined for every byte whatever the process locale.
#pragma once

namespace kolvane {

constexpr bool is_space(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr char to_lower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

}  // namespace kolvane
