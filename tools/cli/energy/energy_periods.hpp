// SPDX-License-Identifier: MIT
// A counter's energy per calendar day and month of the meter's clock, as a bill counts it: a day
// is the intervals that end in (00:00, 24:00] of that clock, so the step to the record at
// midnight belongs to the day before. An interval over a hole that crosses midnight cannot be
// split between the days: its energy is reported as the hole's, in the day it ends in, and
// every day it touches is partial. The first and last days of the data are partial unless
// their records reach midnight.
#pragma once

#include "energy/interval_energy.hpp"

#include <cctz/time_zone.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kenergy {

// The highest average power of one interval: its energy over its length.
struct Peak {
    double power = 0;  // energy unit per hour: kW from kWh
    Interval interval;
};

struct PeriodEnergy {
    std::string label;       // "2026-03-29" for a day, "2026-03" for a month
    double energy = 0;       // of the intervals that lie in the period
    double hole_energy = 0;  // of holes that end in the period and begin before it
    int glitches = 0;        // records left out
    int days = 0;            // days with data; a month's days in all is days_in
    int days_in = 1;
    bool partial = false;
    std::optional<Peak> peak;                 // over whole intervals that are no gap
    std::map<std::string, double> by_tariff;  // the energy per tariff period, with a tariff
};

// The tariff period of an interval; none: no tariff.
using TariffOf = std::function<std::string(const Interval&)>;

// The calendar day of `ms` on `zone`'s clock, "YYYY-MM-DD".
std::string day_of(std::int64_t ms, const cctz::time_zone& zone);

// One entry per day from the first interval's to the last's, ascending; days a hole covers
// wholly are there too, partial and without energy. With `tariff_of`, each day's energy is
// also split by tariff period.
std::vector<PeriodEnergy> daily_energy(const std::vector<Interval>& intervals,
                                       std::int64_t spacing_ms, const cctz::time_zone& zone,
                                       const TariffOf& tariff_of = {});

// The days from `first` to `last` ("YYYY-MM-DD", both included) summed into one period labelled
// `label`; partial when a day of it is partial or has no data.
PeriodEnergy sum_days(const std::vector<PeriodEnergy>& days, const std::string& first,
                      const std::string& last, const std::string& label);

// The days summed per calendar month, ascending.
std::vector<PeriodEnergy> monthly_energy(const std::vector<PeriodEnergy>& days);

}  // namespace kenergy
