// SPDX-License-Identifier: MIT
#include "energy/energy_command.hpp"

#include "common/exit_status.hpp"
#include "common/help_format.hpp"
#include "common/interrupt.hpp"
#include "common/meter_clock.hpp"
#include "common/output.hpp"
#include "database/database.hpp"
#include "energy/calendar_text.hpp"
#include "energy/counter_series.hpp"
#include "energy/energy_rows.hpp"
#include "energy/tariff.hpp"

#include <cctz/civil_time.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace kenergy {
namespace {

struct EnergyArgs {
    std::string db = kdb::DEFAULT_TARGET;
    std::string from, to;  // days on the meter's clock, both included
    std::vector<std::int64_t> serials;
    std::string by = "period";
    std::string format = "table";
    bool intervals = false;
    std::string tariff_path;
};

// Records this far beyond the period are read too: the intervals at its edges need the records
// around them, and a glitch is told by the 96 steps before it and the 96 records after it, which
// a log of long intervals spreads over more days.
constexpr int MARGIN_DAYS = 3;
constexpr double RECORDS_AROUND = 97;

std::string check_day(const std::string& text) {
    return parse_day(text) ? "" : "'" + text + "' is no day, YYYY-MM-DD";
}

std::string shifted_day(const std::string& day, int days) {
    return day_text(*parse_day(day) + days);
}

// The site's name of each meter, from its hosts line as last collected.
std::map<std::int64_t, std::string> site_names(kdb::Database& database) {
    std::map<std::int64_t, std::string> names;
    for (const kdb::MeterPlace& place : database.meter_places()) names[place.serial] = place.name;
    return names;
}

// The highest peak of `month` and the eleven months before it.
std::optional<Peak> year_peak(const std::vector<PeriodEnergy>& months, const std::string& month) {
    const std::string first = month_text(parse_month(month) - 11);
    std::optional<Peak> peak;
    for (const PeriodEnergy& m : months)
        if (m.label >= first && m.label <= month && m.peak &&
            (!peak || m.peak->power > peak->power))
            peak = m.peak;
    return peak;
}

// The meter's counters over the period and the margins around it.
CounterReadings read_period(const EnergyArgs& args, kdb::Database& reader,
                            const kdb::MeterIdentity& meter) {
    const auto read = [&](int margin) {
        std::optional<std::string> from, to;
        // A month's row names the highest peak of its year too.
        const int before = margin + (args.by == "month" ? 366 : 0);
        if (!args.from.empty())
            from = kcli::day_start_utc(shifted_day(args.from, -before), meter.clock_zone);
        if (!args.to.empty())
            to = kcli::day_start_utc(shifted_day(args.to, 1 + margin), meter.clock_zone);
        return read_counters(reader, meter.serial, from, to);
    };
    CounterReadings counters = read(MARGIN_DAYS);
    std::int64_t spacing = 0;
    for (const auto& [key, readings] : counters)
        spacing = std::max(spacing, usual_spacing_ms(readings));
    const int margin = int(std::ceil(RECORDS_AROUND * double(spacing) / 86'400'000.0)) + 1;
    return margin > MARGIN_DAYS && (!args.from.empty() || !args.to.empty()) ? read(margin)
                                                                            : counters;
}

struct Counted {
    CounterOf of;
    std::vector<Interval> intervals;
    std::vector<PeriodEnergy> days;
};

void add_rows(const EnergyArgs& args, const Counted& counted,
              std::vector<nlohmann::ordered_json>& rows) {
    const std::string first =
        args.from.empty() ? (counted.days.empty() ? "" : counted.days.front().label) : args.from;
    const std::string last =
        args.to.empty() ? (counted.days.empty() ? "" : counted.days.back().label) : args.to;
    if (args.intervals) {
        for (const Interval& interval : counted.intervals) {
            const std::string day = day_of(interval.end_ms - 1, *counted.of.zone);
            if (day >= first && day <= last) rows.push_back(interval_row(counted.of, interval));
        }
        return;
    }
    if (first.empty()) return;
    if (args.by == "period") {
        rows.push_back(
            period_row(counted.of, sum_days(counted.days, first, last, first + ".." + last)));
        return;
    }
    std::vector<PeriodEnergy> in;
    for (const PeriodEnergy& day : counted.days)
        if (day.label >= first && day.label <= last) in.push_back(day);
    if (args.by == "day") {
        for (const PeriodEnergy& day : in) rows.push_back(period_row(counted.of, day));
        return;
    }
    // Each month also with the highest peak of the twelve months it ends, over those with data.
    const std::vector<PeriodEnergy> all_months = monthly_energy(counted.days);
    for (const PeriodEnergy& month : monthly_energy(in)) {
        nlohmann::ordered_json row = period_row(counted.of, month);
        row["peak_12_months"] = peak_object(counted.of, year_peak(all_months, month.label));
        rows.push_back(std::move(row));
    }
}

int run(const EnergyArgs& args) {
    std::vector<nlohmann::ordered_json> rows;
    try {
        std::optional<Tariff> tariff;
        cctz::time_zone tariff_zone;
        std::vector<std::string> tariff_periods;
        if (!args.tariff_path.empty()) {
            tariff = Tariff::read(args.tariff_path);
            if (tariff->zone()) cctz::load_time_zone(*tariff->zone(), &tariff_zone);
            tariff_periods = tariff->periods();
        }
        const auto reader = kdb::open_database(*kdb::parse_target(args.db), kdb::Access::READ);
        kdb::Selection chosen;
        chosen.serials = args.serials;
        const std::map<std::int64_t, std::string> names = site_names(*reader);
        for (const kdb::MeterIdentity& meter : reader->meters(chosen)) {
            const std::string problem = kcli::zone_problem(meter.clock_zone);
            if (!problem.empty())
                throw std::runtime_error("Meter " + std::to_string(meter.serial) + ": " + problem);
            cctz::time_zone zone;
            cctz::load_time_zone(meter.clock_zone, &zone);
            const CounterReadings counters = read_period(args, *reader, meter);
            const auto name = names.find(meter.serial);
            for (const auto& [key, readings] : counters) {
                Counted counted;
                counted.of = {meter.serial,
                              name == names.end() ? "" : name->second,
                              key.file_id,
                              key.name,
                              key.unit,
                              &zone,
                              tariff ? &tariff_periods : nullptr};
                counted.intervals = interval_energy(readings);
                TariffOf tariff_of;
                if (tariff)
                    tariff_of = [&](const Interval& interval) {
                        return tariff->period_of(interval, tariff->zone() ? tariff_zone : zone);
                    };
                counted.days =
                    daily_energy(counted.intervals, usual_spacing_ms(readings), zone, tariff_of);
                add_rows(args, counted, rows);
            }
        }
    } catch (const Interrupted&) {
        return kcli::INTERRUPTED;
    } catch (const std::exception& e) {
        kcli::print_diagnostic(e.what());
        return kcli::FAILURE;
    }
    if (kcli::interrupted()) return kcli::INTERRUPTED;
    if (args.format == "json") {
        for (const nlohmann::ordered_json& row : rows) kcli::write_stdout_line(row.dump());
    } else if (args.format == "csv") {
        print_csv(rows);
    } else {
        print_table(rows);
    }
    return kcli::SUCCESS;
}

}  // namespace

void add_energy_command(CLI::App& app, int& status) {
    auto args = std::make_shared<EnergyArgs>();
    CLI::App* command = app.add_subcommand(
        "energy",
        "The energy of each meter's counters (kWh, kvarh, kVAh columns of its data logs) as "
        "'kolvane collect' stored them, over whole days of the meter's own clock: a day holds the "
        "intervals that end in (00:00, 24:00], so a bill's figures can be checked against it. "
        "Each figure says whether it is partial (records missing at its edges, or a hole across "
        "midnight whose energy is reported as the hole's), how many records were left out as "
        "glitches, and the peak demand: the highest average power of one interval.");
    command->add_option("--db", args->db, kdb::TARGET_HELP)
        ->type_name("TARGET")
        ->capture_default_str()
        ->check(kdb::target_problem);
    command->add_option("--from", args->from, "The first day of the period (meter's clock)")
        ->type_name("YYYY-MM-DD")
        ->check(check_day);
    command->add_option("--to", args->to, "The last day of the period, included")
        ->type_name("YYYY-MM-DD")
        ->check(check_day);
    command
        ->add_option("--serial", args->serials,
                     "Only the meter with this serial number; may be repeated")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    command->add_option("--by", args->by, "One figure per period, month or day")
        ->check(CLI::IsMember({"period", "month", "day"}))
        ->capture_default_str();
    command->add_option("--format", args->format, "table, json (one object a line) or csv")
        ->check(CLI::IsMember({"table", "json", "csv"}))
        ->capture_default_str();
    command
        ->add_option("--tariff", args->tariff_path,
                     "A time-of-use tariff (YAML: periods by weekday and time of day, holidays, "
                     "a zone): each figure's energy per tariff period besides")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
    command->add_flag("--intervals", args->intervals,
                      "The interval data instead: each interval's start and end in UTC and on "
                      "the meter's clock, its energy, average power and flags (glitch, gap)");
    command->callback([args, &status] {
        if (!args->from.empty() && !args->to.empty() && args->from > args->to)
            throw CLI::ValidationError("--from", "must not come after --to");
        status = run(*args);
    });
    kcli::add_examples(*command,
                       {"kolvane energy --db site.db --from 2026-11-01 --to 2026-11-30",
                        "kolvane energy --db site.db --by month --tariff tou.yml --format csv",
                        "kolvane energy --db site.db --serial 1201784 --intervals "
                        "--format csv"});
}

}  // namespace kenergy
