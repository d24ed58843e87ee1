// SPDX-License-Identifier: MIT
#include "energy/counter_series.hpp"

#include "common/interrupt.hpp"
#include "common/meter_clock.hpp"

namespace kenergy {

bool is_energy_unit(const std::string& unit) {
    return unit.ends_with("Wh") || unit.ends_with("varh") || unit.ends_with("VAh");
}

CounterReadings read_counters(kdb::Database& database, std::int64_t serial,
                              const std::optional<std::string>& from,
                              const std::optional<std::string>& to, std::optional<int> file_id) {
    kdb::Selection selection;
    selection.file_id = file_id;
    selection.serials = {serial};
    selection.from = from;
    selection.to = to;
    CounterReadings counters;
    std::int64_t rows = 0;
    database.each_value(selection, [&](const kdb::ValueRow& row) {
        if ((++rows & 0xFFFF) == 0 && kcli::interrupted()) throw Interrupted{};
        if (!is_energy_unit(row.unit)) return;
        std::vector<Reading>& readings = counters[{row.file_id, row.name, row.unit}];
        const std::int64_t ms = kcli::utc_ms(row.recorded_at);
        // Two records at one time (a log that started again): the later one stands.
        if (!readings.empty() && readings.back().ms == ms)
            readings.back().value = row.value;
        else
            readings.push_back({ms, row.value});
    });
    return counters;
}

}  // namespace kenergy
