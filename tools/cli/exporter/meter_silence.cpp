// SPDX-License-Identifier: MIT
#include "exporter/meter_silence.hpp"

#include <algorithm>
#include <string_view>

namespace kexp {

bool says_meter_silent(const std::string& error) {
    // The library's own words; a message about a register or a file ends with one of them.
    constexpr std::string_view SILENCES[] = {
        "no reply from ",              // no reply within the time-out
        "no meter answered at unit ",  // the gateway has no meter at that unit
        " busy after ",                // "gateway HOST:PORT busy after N tries"
        "Cannot connect to ",
        "Timed out connecting to ",
        "Cannot resolve host",
        "socket recv failed",  // the connection dropped
        "socket send failed",
    };
    return std::any_of(std::begin(SILENCES), std::end(SILENCES), [&](std::string_view words) {
        return error.find(words) != std::string::npos;
    });
}

}  // namespace kexp
