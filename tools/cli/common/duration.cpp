// SPDX-License-Identifier: MIT
#include "common/duration.hpp"

namespace kcli {

std::optional<std::chrono::seconds> parse_duration(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && digits < 7 && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    if (digits == 0) return std::nullopt;
    const std::string unit = text.substr(digits);
    const long number = std::stol(text.substr(0, digits));
    long factor = 0;
    if (unit.empty() || unit == "s")
        factor = 1;
    else if (unit == "m")
        factor = 60;
    else if (unit == "h")
        factor = 3600;
    if (factor == 0 || number == 0) return std::nullopt;
    return std::chrono::seconds(number * factor);
}

}  // namespace kcli
