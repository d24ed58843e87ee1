// SPDX-License-Identifier: MIT
#include "exporter/probe_metrics.hpp"

#include "exporter/exposition.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace kexp {
namespace {

using nlohmann::json;

constexpr std::uint16_t TOTAL_ENERGIES_FIRST = 0x1700;
constexpr std::uint16_t TOTAL_ENERGIES_LAST = 0x177F;
constexpr std::uint16_t KWH_NET = 0x1702;
constexpr std::uint16_t KVARH_NET = 0x1706;

constexpr PointFamily POINT_FAMILIES[] = {
    {"V", "", false, "kolvane_voltage_volts", 0, "Voltage of the point.", "volts", false},
    {"A", "", false, "kolvane_current_amperes", 0, "Current of the point.", "amperes", false},
    {"kW", "", false, "kolvane_power_watts", 3, "Active power of the point.", "watts", false},
    {"kvar", "", false, "kolvane_reactive_power_var", 3, "Reactive power of the point.", "var",
     false},
    {"kVA", "", false, "kolvane_apparent_power_voltamperes", 3, "Apparent power of the point.",
     "voltamperes", false},
    {"Hz", "", false, "kolvane_frequency_hertz", 0, "Frequency of the supply.", "hertz", false},
    {"", "PF", false, "kolvane_power_factor_ratio", 0, "Power factor of the point, -1 to 1.",
     "ratio", false},
    {"", "K-Factor", false, "kolvane_k_factor", 0, "K-factor of the current, 1 and above.", "",
     false},
    {"%", "THD", false, "kolvane_harmonic_distortion_ratio", -2,
     "Total harmonic distortion of the point, as a ratio.", "ratio", false},
    {"%", "TDD", false, "kolvane_demand_distortion_ratio", -2,
     "Total demand distortion of the current, as a ratio.", "ratio", false},
    {"%", "unbalance", false, "kolvane_unbalance_ratio", -2,
     "Unbalance between the phases, as a ratio.", "ratio", false},
    {"kWh", "", false, "kolvane_net_energy_watthours", 3,
     "Net active energy (import less export); falls while energy is exported.", "watthours", false},
    {"kvarh", "", false, "kolvane_net_reactive_energy_varhours", 3,
     "Net reactive energy (import less export); falls while energy is exported.", "varhours",
     false},
    {"kWh", "", true, "kolvane_energy_watthours_total", 3, "Active energy the meter has counted.",
     "watthours", false},
    {"kvarh", "", true, "kolvane_reactive_energy_varhours_total", 3,
     "Reactive energy the meter has counted.", "varhours", false},
    {"kVAh", "", true, "kolvane_apparent_energy_voltamperehours_total", 3,
     "Apparent energy the meter has counted.", "voltamperehours", false},
};

// Readings of a unit no family above knows keep the meter's value and carry its unit as a label.
constexpr PointFamily OTHER_GAUGES{
    "", "",  false, "kolvane_value", 0, "Present value of a point, in the unit of the label.",
    "", true};
constexpr PointFamily OTHER_COUNTERS{
    "",   "",
    true, "kolvane_value_total",
    0,    "Amount the meter has counted, in the unit of the label.",
    "",   true};

// `value` times 10^shift, computed on its shortest decimal text so that 2.62 kW is 2620 W and
// 2.1 % is 0.021, not their nearest binary products.
double shift_decimal(double value, int shift) {
    if (shift == 0 || !std::isfinite(value)) return value;
    char text[48];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    const std::string_view written(text, static_cast<std::size_t>(end.ptr - text));
    const std::size_t e = written.find('e');
    const std::size_t digits = e + (written[e + 1] == '+' ? 2 : 1);  // from_chars takes no '+'
    int exponent = 0;
    std::from_chars(written.data() + digits, written.data() + written.size(), exponent);
    const std::string shifted =
        std::string(written.substr(0, e)) + "e" + std::to_string(exponent + shift);
    double result = value;
    std::from_chars(shifted.data(), shifted.data() + shifted.size(), result);
    return result;
}

void write_identity(Exposition& out, const json& info, const ProbeTarget& target) {
    const std::string serial = std::to_string(info.at("serial").get<std::uint32_t>());
    const json& firmware = info.at("firmware");
    const std::string version = std::to_string(firmware.at("version").get<int>()) + "." +
                                std::to_string(firmware.at("build").get<int>());
    const std::string model = info.at("meter").get<std::string>();
    const std::string model_name = info.at("model_name").get<std::string>();
    out.family("kolvane_meter_info", "gauge", "Identity of the meter; the value is always 1.");
    const std::string unit = std::to_string(target.unit);
    Labels labels{{"serial", serial},
                  {"model", model},
                  {"model_name", model_name},
                  {"firmware", version},
                  {"unit", unit}};
    if (!target.name.empty()) labels.emplace_back("name", target.name);
    out.sample("kolvane_meter_info", labels, 1);
}

// Every reading under its family; the samples of a family together, families in the order of
// their first reading.
void write_readings(Exposition& out, const json& readings) {
    struct Reading {
        const PointFamily* family;
        std::string point;
        std::string unit;
        double value;
    };
    std::vector<Reading> sorted;
    for (const json& reading : readings) {
        std::string point = reading.at("name").get<std::string>();
        std::string unit = reading.at("unit").get<std::string>();
        const PointFamily& family =
            point_family(unit, point, is_energy_counter(reading.at("pid").get<std::uint16_t>()));
        sorted.push_back({&family, std::move(point), std::move(unit),
                          base_unit_value(family, reading.at("value").get<double>())});
    }
    std::vector<const PointFamily*> written;
    for (const Reading& first : sorted) {
        if (std::find(written.begin(), written.end(), first.family) != written.end()) continue;
        written.push_back(first.family);
        const PointFamily& family = *first.family;
        out.family(family.name, family.counter ? "counter" : "gauge", family.help);
        for (const Reading& reading : sorted) {
            if (reading.family != &family) continue;
            Labels labels{{"point", reading.point}};
            if (family.generic && !reading.unit.empty()) labels.emplace_back("unit", reading.unit);
            out.sample(family.name, labels, reading.value);
        }
    }
}

}  // namespace

const PointFamily& point_family(std::string_view unit, std::string_view point, bool counter) {
    for (const PointFamily& family : POINT_FAMILIES)
        if (family.meter_unit == unit && family.counter == counter &&
            point.find(family.name_part) != std::string_view::npos)
            return family;
    return counter ? OTHER_COUNTERS : OTHER_GAUGES;
}

double base_unit_value(const PointFamily& family, double value) {
    return shift_decimal(value, family.decimal_shift);
}

bool is_energy_counter(std::uint16_t pid) {
    return pid >= TOTAL_ENERGIES_FIRST && pid <= TOTAL_ENERGIES_LAST && pid != KWH_NET &&
           pid != KVARH_NET;
}

std::string probe_exposition(const ProbeTarget& target, const ProbeResult& result) {
    Exposition out;
    out.family("kolvane_up", "gauge", "Whether the meter answered the probe (1) or not (0).");
    out.sample("kolvane_up", {}, result.up ? 1 : 0);
    out.family("kolvane_probe_duration_seconds", "gauge",
               "How long the probe took to read the meter; 0 when it was held.");
    out.sample("kolvane_probe_duration_seconds", {}, result.seconds);
    out.family("kolvane_probe_retries", "gauge",
               "Requests of the probe sent again after a busy gateway or a unit that missed one.");
    out.sample("kolvane_probe_retries", {}, result.retries);
    out.family("kolvane_probe_retried_exceptions", "gauge",
               "The probe's retries by the Modbus exception answered: 6 busy, 5 acknowledge, 11 "
               "no answer from the unit behind the gateway.");
    for (const auto& [code, count] : result.retried_exceptions)
        out.sample("kolvane_probe_retried_exceptions", {{"code", std::to_string(code)}}, count);
    if (result.up) {
        write_identity(out, json::parse(result.identity), target);
        write_readings(out, json::parse(result.live).at("readings"));
    }
    return out.text();
}

}  // namespace kexp
