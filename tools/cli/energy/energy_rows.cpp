// SPDX-License-Identifier: MIT
#include "energy/energy_rows.hpp"

#include "common/meter_clock.hpp"
#include "common/output.hpp"
#include "energy/calendar_text.hpp"

#include <algorithm>
#include <chrono>

namespace kenergy {
namespace {

// Round to the millionth: sums of floating point steps carry noise below the meter's decimals.
double rounded(double value) { return std::round(value * 1e6) / 1e6; }

nlohmann::ordered_json times(const Interval& interval, const cctz::time_zone& zone) {
    return {{"start", kcli::utc_text(interval.start_ms)},
            {"end", kcli::utc_text(interval.end_ms)},
            {"meter_start", wall_text(interval.start_ms, zone)},
            {"meter_end", wall_text(interval.end_ms, zone)}};
}

nlohmann::ordered_json base(const CounterOf& of) {
    return {{"serial", of.serial},
            {"name", of.name},
            {"file_id", of.file_id},
            {"counter", of.counter},
            {"unit", of.unit}};
}

// A CSV or table cell: JSON's own text for numbers and booleans, texts as they are.
std::string cell(const nlohmann::ordered_json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_null()) return "";
    return value.dump();
}

std::string csv_cell(const nlohmann::ordered_json& value) {
    std::string text = cell(value);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// Nested objects (a peak) flattened: {"peak":{"power":1}} gives the column peak_power.
nlohmann::ordered_json flat(const nlohmann::ordered_json& row) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const auto& [key, value] : row.items()) {
        if (value.is_object())
            for (const auto& [inner, v] : value.items()) out[key + "_" + inner] = v;
        else
            out[key] = value;
    }
    return out;
}

std::vector<std::string> columns_of(const std::vector<nlohmann::ordered_json>& rows) {
    std::vector<std::string> columns;
    for (const nlohmann::ordered_json& row : rows)
        for (const auto& [key, value] : row.items())
            if (std::find(columns.begin(), columns.end(), key) == columns.end())
                columns.push_back(key);
    return columns;
}

}  // namespace

std::string power_unit(const std::string& energy_unit) {
    return energy_unit.ends_with("h") ? energy_unit.substr(0, energy_unit.size() - 1)
                                      : energy_unit + "/h";
}

nlohmann::ordered_json period_row(const CounterOf& of, const PeriodEnergy& period) {
    nlohmann::ordered_json row = base(of);
    row["period"] = period.label;
    row["energy"] = rounded(period.energy);
    row["partial"] = period.partial;
    row["days"] = period.days;
    row["days_in"] = period.days_in;
    row["hole_energy"] = rounded(period.hole_energy);
    row["glitches"] = period.glitches;
    row["peak"] = peak_object(of, period.peak);
    if (of.tariff_periods) {
        nlohmann::ordered_json tariff = nlohmann::ordered_json::object();
        for (const std::string& name : *of.tariff_periods) {
            const auto found = period.by_tariff.find(name);
            tariff[name] = rounded(found == period.by_tariff.end() ? 0.0 : found->second);
        }
        row["tariff"] = tariff;
    }
    return row;
}

nlohmann::ordered_json peak_object(const CounterOf& of, const std::optional<Peak>& peak) {
    if (!peak) return nullptr;
    nlohmann::ordered_json object{{"power", rounded(peak->power)}, {"unit", power_unit(of.unit)}};
    object.update(times(peak->interval, *of.zone));
    return object;
}

nlohmann::ordered_json interval_row(const CounterOf& of, const Interval& interval) {
    nlohmann::ordered_json row = base(of);
    row.update(times(interval, *of.zone));
    row["energy"] = interval.energy ? nlohmann::ordered_json(rounded(*interval.energy)) : nullptr;
    row["average_power"] =
        interval.energy && interval.hours() > 0
            ? nlohmann::ordered_json(rounded(*interval.energy / interval.hours()))
            : nullptr;
    row["power_unit"] = power_unit(of.unit);
    row["flags"] = !interval.energy ? "glitch" : interval.gap ? "gap" : "";
    return row;
}

void print_csv(const std::vector<nlohmann::ordered_json>& rows) {
    std::vector<nlohmann::ordered_json> flat_rows;
    for (const nlohmann::ordered_json& row : rows) flat_rows.push_back(flat(row));
    const std::vector<std::string> columns = columns_of(flat_rows);
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) line += ',';
        line += columns[i];
    }
    kcli::write_stdout_line(line);
    for (const nlohmann::ordered_json& row : flat_rows) {
        line.clear();
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) line += ',';
            if (row.contains(columns[i])) line += csv_cell(row[columns[i]]);
        }
        kcli::write_stdout_line(line);
    }
}

void print_table(const std::vector<nlohmann::ordered_json>& rows) {
    // The columns a reader checks a bill with; the JSON and CSV forms hold every figure.
    const std::vector<std::pair<std::string, std::string>> shown = {
        {"meter", "Meter"},          {"file_id", "Log"},
        {"counter", "Counter"},      {"period", "Period"},
        {"energy", "Energy"},        {"unit", "Unit"},
        {"partial", "Partial"},      {"hole_energy", "Holes"},
        {"peak_power", "Peak"},      {"peak_meter_start", "Peak from (meter clock)"},
        {"tariff", "Tariff periods"}};
    std::vector<std::vector<std::string>> cells;
    for (const nlohmann::ordered_json& row : rows) {
        nlohmann::ordered_json f = flat(row);
        const std::string serial = std::to_string(row.value("serial", std::int64_t{0}));
        const std::string name = row.value("name", "");
        f["meter"] = name.empty() ? serial : name + " (" + serial + ")";
        f["partial"] = row.value("partial", false) ? "partial" : "";
        if (row.contains("tariff")) {
            std::string periods;
            for (const auto& [period, energy] : row["tariff"].items())
                periods += (periods.empty() ? "" : ", ") + period + " " + cell(energy);
            f["tariff"] = periods;
        }
        if (f.contains("peak_power") && !f["peak_power"].is_null())
            f["peak_power"] = cell(f["peak_power"]) + " " + f.value("peak_unit", "");
        std::vector<std::string> line;
        for (const auto& [key, title] : shown) line.push_back(f.contains(key) ? cell(f[key]) : "");
        cells.push_back(std::move(line));
    }
    std::vector<std::size_t> widths;
    for (const auto& [key, title] : shown) widths.push_back(title.size());
    for (const auto& line : cells)
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    const auto print = [&](const std::vector<std::string>& line) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i)
            text += line[i] +
                    std::string(i + 1 < line.size() ? widths[i] - line[i].size() + 2 : 0, ' ');
        kcli::write_stdout_line(text);
    };
    std::vector<std::string> titles;
    for (const auto& [key, title] : shown) titles.push_back(title);
    print(titles);
    for (const auto& line : cells) print(line);
}

}  // namespace kenergy
