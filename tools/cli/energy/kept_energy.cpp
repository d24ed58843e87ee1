// SPDX-License-Identifier: MIT
#include "energy/kept_energy.hpp"

#include "common/meter_clock.hpp"
#include "energy/calendar_text.hpp"
#include "energy/counter_series.hpp"
#include "energy/energy_periods.hpp"

#include <algorithm>
#include <map>

namespace kenergy {
namespace {

// The glitch rule weighs the steps of the last 96 intervals counted.
constexpr int STEPS_WEIGHED = 96;

// Where a counter goes on from: its last counted intervals, the newest first.
using Resume = std::vector<kdb::EnergyIntervalRow>;

Interval interval_of(const kdb::EnergyIntervalRow& row) {
    return {kcli::utc_ms(row.started_at), kcli::utc_ms(row.ended_at), row.energy, row.gap, false};
}

kdb::EnergyIntervalRow row_of(const Interval& interval, const cctz::time_zone& zone) {
    return {kcli::utc_text(interval.start_ms),
            kcli::utc_text(interval.end_ms),
            wall_text(interval.start_ms, zone),
            wall_text(interval.end_ms, zone),
            interval.energy,
            interval.gap};
}

std::optional<kdb::EnergyPeakRow> peak_row(const std::optional<Peak>& peak,
                                           const cctz::time_zone& zone) {
    if (!peak) return std::nullopt;
    const kdb::EnergyIntervalRow row = row_of(peak->interval, zone);
    return kdb::EnergyPeakRow{peak->power, row.started_at, row.ended_at, row.start_meter_time,
                              row.end_meter_time};
}

kdb::EnergyPeriodRow period_row(const PeriodEnergy& period, const cctz::time_zone& zone) {
    return {period.label, period.energy,  period.hole_energy, period.glitches,
            period.days,  period.days_in, period.partial,     peak_row(period.peak, zone)};
}

PeriodEnergy period_of(const kdb::EnergyPeriodRow& row) {
    PeriodEnergy period;
    period.label = row.period;
    period.energy = row.energy;
    period.hole_energy = row.hole_energy;
    period.glitches = int(row.glitches);
    period.days = int(row.days);
    period.days_in = int(row.days_in);
    period.partial = row.partial;
    if (row.peak)
        period.peak = Peak{row.peak->power,
                           {kcli::utc_ms(row.peak->started_at), kcli::utc_ms(row.peak->ended_at),
                            std::nullopt, false, false}};
    return period;
}

// The start of the day before `day` on the meter's clock, UTC text.
std::string day_before_start(const std::string& day, const std::string& zone) {
    return kcli::day_start_utc(day_text(*parse_day(day) - 1), zone);
}

class LogKeeper {
public:
    LogKeeper(kdb::Database& store, const NewRecords& records) : store_(store), records_(records) {
        cctz::load_time_zone(records.zone, &zone_);
    }

    void keep() {
        const std::optional<std::string> kept =
            store_.kept_energy_until(records_.serial, records_.file_id);
        const auto span = store_.stored_span(records_.serial, records_.file_id);
        if (!span) return;
        std::optional<std::string> since = records_.first;
        if (kept && (!since || *kept < *since)) since = kept;
        if (kept && *kept == span->second && (!records_.first || *records_.first >= *kept))
            return;  // nothing new
        // Without the log's counters (no record came to name them) the kept rows cannot be
        // resumed counter by counter.
        const bool whole = !kept || !since || records_.counters.empty();
        std::optional<kdb::LogEnergy> energy = computed(whole ? std::nullopt : since, span->second);
        if (!energy)
            energy = computed(std::nullopt, span->second);  // a record resumed from is gone
        store_.save_energy(*energy);
    }

private:
    // The log's counters computed anew: each from its last counted interval before `since`, or
    // whole without it. Nothing when such an interval's record is no longer stored.
    std::optional<kdb::LogEnergy> computed(const std::optional<std::string>& since,
                                           const std::string& newest) {
        std::map<kdb::CounterColumn, Resume> resumes;
        std::optional<std::string> read_from;
        for (const kdb::CounterColumn& column :
             since ? records_.counters : std::vector<kdb::CounterColumn>{}) {
            Resume resume = store_.counted_intervals(records_.serial, records_.file_id, column,
                                                     *since, STEPS_WEIGHED);
            if (resume.empty()) return computed(std::nullopt, newest);  // a new counter
            if (!read_from || resume.back().started_at < *read_from)
                read_from = resume.back().started_at;
            resumes[column] = std::move(resume);
        }
        kdb::LogEnergy energy{records_.serial, records_.file_id, newest, {}};
        for (const auto& [key, readings] :
             read_counters(store_, records_.serial, read_from, std::nullopt, records_.file_id)) {
            const kdb::CounterColumn column{key.name, key.unit};
            const auto resume = resumes.find(column);
            // A column the log no longer records has nothing new: what was kept of it stands.
            if (since && resume == resumes.end()) continue;
            std::optional<kdb::CounterEnergy> counter =
                since ? resumed_counter(column, readings, resume->second)
                      : whole_counter(column, readings);
            if (since && !counter) return std::nullopt;
            if (counter) energy.counters.push_back(std::move(*counter));
        }
        return energy;
    }

    // Every interval of the counter anew, from its first record read.
    std::optional<kdb::CounterEnergy> whole_counter(const kdb::CounterColumn& column,
                                                    const std::vector<Reading>& readings) {
        if (readings.size() < 2) return std::nullopt;
        const std::int64_t spacing = usual_spacing_ms(readings);
        kdb::CounterEnergy counter{column, kcli::utc_text(readings.front().ms), {}, "", "", {}, {}};
        std::vector<Interval> intervals = decided(interval_energy(readings, spacing, {}));
        add_periods(counter, intervals, spacing, {});
        return counter;
    }

    // The intervals after the last counted one, from the readings since the oldest of `resume`;
    // nothing when the last counted record is no longer stored.
    std::optional<kdb::CounterEnergy> resumed_counter(const kdb::CounterColumn& column,
                                                      const std::vector<Reading>& readings,
                                                      const Resume& resume) {
        const std::int64_t spacing = usual_spacing_ms(readings);
        const std::int64_t last_counted = kcli::utc_ms(resume.front().ended_at);
        const auto from = std::find_if(readings.begin(), readings.end(),
                                       [&](const Reading& r) { return r.ms >= last_counted; });
        if (from == readings.end() || from->ms != last_counted) return std::nullopt;
        std::vector<double> steps;
        for (auto row = resume.rbegin(); row != resume.rend(); ++row)
            steps.push_back(step_per_interval(interval_of(*row), spacing));
        const std::vector<Interval> fresh =
            decided(interval_energy(std::vector<Reading>(from, readings.end()), spacing, steps));
        kdb::CounterEnergy counter{column, resume.front().ended_at, {}, "", "", {}, {}};
        // The days from the one the last counted interval ends in, with the day before for
        // context, so that neither is taken for the first day of the data.
        const std::string first_day = day_of(last_counted - 1, zone_);
        std::vector<Interval> intervals;
        for (const kdb::EnergyIntervalRow& row : store_.kept_intervals(
                 records_.serial, records_.file_id, column,
                 day_before_start(first_day, records_.zone), resume.front().ended_at))
            intervals.push_back(interval_of(row));
        intervals.insert(intervals.end(), fresh.begin(), fresh.end());
        counter.days_from = first_day;
        add_periods(counter, intervals, spacing, fresh);
        return counter;
    }

    // Leaves out the records at the end that the next ones decide.
    static std::vector<Interval> decided(std::vector<Interval> intervals) {
        while (!intervals.empty() && intervals.back().undecided) intervals.pop_back();
        return intervals;
    }

    // The days and months of `intervals` from `counter.days_from` on ("": every one), and
    // `fresh` (every interval when empty) as the intervals kept anew.
    void add_periods(kdb::CounterEnergy& counter, const std::vector<Interval>& intervals,
                     std::int64_t spacing, const std::vector<Interval>& fresh) {
        for (const Interval& interval : counter.days_from.empty() ? intervals : fresh)
            counter.intervals.push_back(row_of(interval, zone_));
        std::vector<PeriodEnergy> days;
        for (PeriodEnergy& day : daily_energy(intervals, spacing, zone_))
            if (day.label >= counter.days_from) days.push_back(std::move(day));
        if (days.empty()) return;
        if (counter.days_from.empty()) counter.days_from = days.front().label;
        counter.months_from = counter.days_from.substr(0, 7);
        // The month's days before the first day kept anew, as they were kept.
        std::vector<PeriodEnergy> month_days;
        const std::string day_before = day_text(*parse_day(counter.days_from) - 1);
        if (day_before >= counter.months_from + "-01")
            for (const kdb::EnergyPeriodRow& row :
                 store_.kept_days(records_.serial, records_.file_id, counter.column,
                                  counter.months_from + "-01", day_before))
                month_days.push_back(period_of(row));
        for (const PeriodEnergy& day : days) {
            counter.days.push_back(period_row(day, zone_));
            month_days.push_back(day);
        }
        for (const PeriodEnergy& month : monthly_energy(month_days))
            counter.months.push_back(period_row(month, zone_));
    }

    kdb::Database& store_;
    const NewRecords& records_;
    cctz::time_zone zone_;
};

}  // namespace

void keep_energy(kdb::Database& store, const NewRecords& records) {
    try {
        store.with_reconnect([&] { LogKeeper(store, records).keep(); });
    } catch (const Interrupted&) {
        // Ctrl-C: the kept rows stay as they were, and the next pass goes on from them.
    }
}

}  // namespace kenergy
