// SPDX-License-Identifier: MIT
// A time-of-use tariff, read from a YAML file: named periods (peak, off-peak, ...) by weekday and
// time of day, holidays by date, on one zone's clock (the meter's own when it names none):
//
//   zone: Europe/Berlin
//   default: off-peak            # every time no window names
//   windows:
//     - {period: peak, days: [mon, tue, wed, thu, fri], from: "07:00", to: "20:00"}
//     - {period: peak, days: [sat], from: "08:00", to: "13:00"}
//   holidays: [2026-12-25, 2026-12-26]   # only windows naming the day "holiday" apply on them
//
// An interval is in the period of its start and of its last instant; one whose two ends lie in
// different periods cannot be split exactly and is "mixed".
#pragma once

#include "energy/interval_energy.hpp"

#include <cctz/time_zone.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kenergy {

class Tariff {
public:
    static constexpr const char* MIXED = "mixed";

    // Throws std::runtime_error with a one-line message naming the file and the key.
    static Tariff read(const std::string& path);

    // The zone the tariff names, if any.
    const std::optional<std::string>& zone() const { return zone_; }
    // Every period it names, in the file's order, the default and MIXED last.
    std::vector<std::string> periods() const;
    // The period of an interval on `clock` (the tariff's zone or the meter's), or MIXED.
    std::string period_of(const Interval& interval, const cctz::time_zone& clock) const;

private:
    struct Window {
        std::string period;
        std::set<int> days;    // 0 Monday .. 6 Sunday, 7 a holiday
        int from = 0, to = 0;  // minutes of the day, [from, to)
    };
    std::string period_at(std::int64_t ms, const cctz::time_zone& clock) const;

    std::optional<std::string> zone_;
    std::string default_;
    std::vector<Window> windows_;
    std::set<std::string> holidays_;  // "YYYY-MM-DD"
};

}  // namespace kenergy
