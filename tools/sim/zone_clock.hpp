// SPDX-License-Identifier: MIT
// A meter clock set to the wall time of an IANA time zone, from the system's tzdata through cctz.
// For kolvane-sim and the tests only: the kolvane_sim library itself needs no cctz.
#pragma once

#include <cctz/civil_time.h>
#include <cctz/time_zone.h>

#include <cstdint>
#include <optional>
#include <string>

#include "simulator.hpp"

namespace ksim {

// The wall clock of zone `name` (e.g. Europe/Berlin, UTC), nullopt when tzdata has no such zone.
inline std::optional<WallClock> zone_wall_clock(const std::string& name) {
    cctz::time_zone zone;
    if (!cctz::load_time_zone(name, &zone)) return std::nullopt;
    return WallClock([zone](std::int64_t utc_seconds) {
        const cctz::civil_second wall =
            cctz::convert(cctz::time_point<cctz::seconds>(cctz::seconds(utc_seconds)), zone);
        return static_cast<std::int64_t>(wall - cctz::civil_second(1970, 1, 1, 0, 0, 0));
    });
}

}  // namespace ksim
