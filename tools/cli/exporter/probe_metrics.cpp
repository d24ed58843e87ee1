// SPDX-License-Identifier: MIT
#include "exporter/probe_metrics.hpp"

#include "exporter/exposition.hpp"

#include <nlohmann/json.hpp>

namespace kexp {
namespace {

using nlohmann::json;

constexpr std::uint16_t TOTAL_ENERGIES_FIRST = 0x1700;
constexpr std::uint16_t TOTAL_ENERGIES_LAST = 0x177F;
constexpr std::uint16_t KWH_NET = 0x1702;
constexpr std::uint16_t KVARH_NET = 0x1706;

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

// One family of readings: the gauges or the energy counters.
void write_readings(Exposition& out, const json& readings, bool counters) {
    bool started = false;
    for (const json& reading : readings) {
        const auto pid = reading.at("pid").get<std::uint16_t>();
        if (is_energy_counter(pid) != counters) continue;
        const char* name = counters ? "kolvane_energy_total" : "kolvane_point_value";
        if (!started) {
            if (counters)
                out.family(name, "counter",
                           "Energy the meter has counted, in the unit of the label.");
            else
                out.family(name, "gauge",
                           "Present value of a meter point, in the unit of the label.");
            started = true;
        }
        const std::string point_name = reading.at("name").get<std::string>();
        const std::string point_id = std::to_string(pid);
        const std::string unit = reading.at("unit").get<std::string>();
        out.sample(name, {{"name", point_name}, {"pid", point_id}, {"unit", unit}},
                   reading.at("value").get<double>());
    }
}

}  // namespace

bool is_energy_counter(std::uint16_t pid) {
    return pid >= TOTAL_ENERGIES_FIRST && pid <= TOTAL_ENERGIES_LAST && pid != KWH_NET &&
           pid != KVARH_NET;
}

std::string probe_exposition(const ProbeTarget& target, const ProbeResult& result) {
    Exposition out;
    out.family("kolvane_up", "gauge", "Whether the meter answered the probe (1) or not (0).");
    out.sample("kolvane_up", {}, result.up ? 1 : 0);
    out.family("kolvane_probe_duration_seconds", "gauge",
               "How long the probe took to read the meter.");
    out.sample("kolvane_probe_duration_seconds", {}, result.seconds);
    if (result.up) {
        write_identity(out, json::parse(result.identity), target);
        const json readings = json::parse(result.live).at("readings");
        write_readings(out, readings, false);
        write_readings(out, readings, true);
    }
    return out.text();
}

}  // namespace kexp
