// SPDX-License-Identifier: MIT
// The realistic default meter of kolvane-sim: identity, scaling, live values, data logs, event log.
#include "internal.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ksim {

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double ENERGY_ACCEL =
    10.0;  // live energies advance 10x faster than real time (visible growth)

std::int32_t r32(double x) { return static_cast<std::int32_t>(std::lround(x)); }

// Deterministic small noise in [-1, 1] from an integer seed.
double noise(std::uint64_t seed) {
    seed ^= seed >> 33;
    seed *= 0xff51afd7ed558ccdULL;
    seed ^= seed >> 33;
    seed *= 0xc4ceb9fe1a85ec53ULL;
    seed ^= seed >> 33;
    return static_cast<double>(seed % 20001) / 10000.0 - 1.0;
}

// Live values as they are set: a flat list, cheap enough for thousands of log records.
using Points = std::vector<std::pair<std::uint16_t, std::int32_t>>;

struct LiveValues {
    Points points;
    void set(std::uint16_t pid, double raw) { points.emplace_back(pid, r32(raw)); }
};

// The three phases at one moment, in the meter's raw units: volts in 0.1 V, amperes in
// 0.01 A, powers in W (0.001 kW), and the power factor as a fraction.
struct Phases {
    double volts[3], amperes[3], power_factor[3], watts[3], vars[3], volt_amperes[3];
    double total_watts() const { return watts[0] + watts[1] + watts[2]; }
    double total_vars() const { return vars[0] + vars[1] + vars[2]; }
    double total_volt_amperes() const {
        return volt_amperes[0] + volt_amperes[1] + volt_amperes[2];
    }
    double mean_volts() const { return (volts[0] + volts[1] + volts[2]) / 3; }
    double mean_amperes() const { return (amperes[0] + amperes[1] + amperes[2]) / 3; }
};

// Voltages near 230 V and currents that follow the day, with a little noise; powers that
// agree with V x I x PF.
Phases phases_at(double day_angle, std::uint64_t tick) {
    Phases ph{};
    for (int k = 0; k < 3; ++k) {
        ph.volts[k] = 2300 + 20 * std::sin(3 * day_angle + k) + 3 * noise(tick * 7 + k);
        ph.amperes[k] =
            1250 * (1 + 0.35 * std::sin(day_angle - 2.0 + k)) + 10 * noise(tick * 11 + k);
        ph.power_factor[k] = 0.95 - 0.02 * k + 0.01 * std::sin(day_angle + k);
        ph.volt_amperes[k] = (ph.volts[k] / 10) * (ph.amperes[k] / 100);
        ph.watts[k] = ph.volt_amperes[k] * ph.power_factor[k];
        ph.vars[k] = ph.volt_amperes[k] * std::sqrt(1 - ph.power_factor[k] * ph.power_factor[k]);
    }
    return ph;
}

// The per-phase family, in both its fast (0x0C00) and its one-second (0x1100) copy.
void set_per_phase(LiveValues& live, const Phases& ph) {
    for (std::uint16_t base : {std::uint16_t{0x0C00}, std::uint16_t{0x1100}}) {
        for (int k = 0; k < 3; ++k) {
            auto first = static_cast<std::uint16_t>(base + k);
            live.set(first, ph.volts[k]);
            live.set(first + 3, ph.amperes[k]);
            live.set(first + 6, ph.watts[k]);
            live.set(first + 9, ph.vars[k]);
            live.set(first + 12, ph.volt_amperes[k]);
            live.set(first + 15, ph.power_factor[k] * 1000);
            live.set(first + 18, 21 + 3 * k);   // V THD 2.1 %
            live.set(first + 21, 85 + 10 * k);  // I THD 8.5 %
            live.set(first + 24, 12 + k);       // K-factor 1.2
            live.set(first + 27, 60 + 5 * k);   // TDD 6.0 %
            live.set(first + 30, ph.volts[k] * std::sqrt(3.0));
        }
    }
}

// The totals family, in both its copies.
void set_totals(LiveValues& live, const Phases& ph) {
    const double watts = ph.total_watts(), vars = ph.total_vars(),
                 volt_amperes = ph.total_volt_amperes();
    for (std::uint16_t base : {std::uint16_t{0x0F00}, std::uint16_t{0x1400}}) {
        live.set(base + 0, watts);
        live.set(base + 1, vars);
        live.set(base + 2, volt_amperes);
        live.set(base + 3, watts / volt_amperes * 1000);
        live.set(base + 4, watts / volt_amperes * 1000);
        live.set(base + 5, 0);
        live.set(base + 6, watts);
        live.set(base + 7, 0);
        live.set(base + 8, vars);
        live.set(base + 9, 0);
        live.set(base + 10, ph.mean_volts());
        live.set(base + 11, ph.mean_volts() * std::sqrt(3.0));
        live.set(base + 12, ph.mean_amperes());
    }
}

// Frequency (0.01 Hz, and its 3- and 4-decimal forms), unbalance, neutral current.
void set_frequency_and_unbalance(LiveValues& live, Model model, std::uint64_t tick) {
    const double hz = 5000 + 2 * noise(tick * 13);
    const double voltage_unbalance = model == Model::em235 ? 5 : 1;
    live.set(0x1000, 0);
    live.set(0x1001, 35);
    live.set(0x1002, hz);
    live.set(0x1003, voltage_unbalance);
    live.set(0x1004, 12);
    live.set(0x1008, hz * 10);
    live.set(0x100A, 0);
    live.set(0x100B, hz * 10);
    live.set(0x100C, hz * 100);
    live.set(0x1500, 0);
    live.set(0x1501, 35);
    live.set(0x1502, hz);
    live.set(0x1503, voltage_unbalance);
    live.set(0x1504, 12);
    live.set(0x150A, hz * 10);
    live.set(0x150E, 0);
}

// Fundamental values and phase angles (0.1 degree), and the present demands.
void set_angles_and_demands(LiveValues& live, const Phases& ph) {
    for (int k = 0; k < 3; ++k) {
        const double voltage_angle = k == 0 ? 0 : (k == 1 ? -1200 : 1200);
        live.set(static_cast<std::uint16_t>(0x1080 + k), ph.volts[k] * 0.99);
        live.set(static_cast<std::uint16_t>(0x1084 + k), ph.amperes[k] * 0.98);
        live.set(static_cast<std::uint16_t>(0x1088 + k), voltage_angle);
        live.set(static_cast<std::uint16_t>(0x108C + k),
                 voltage_angle - std::acos(ph.power_factor[k]) * 1800 / PI);
        live.set(static_cast<std::uint16_t>(0x1600 + k), ph.volts[k]);
        live.set(static_cast<std::uint16_t>(0x1603 + k), ph.amperes[k] * 0.97);
    }
    live.set(0x1087, 0);
    live.set(0x108F, 0);
    const double watts = ph.total_watts() * 0.97, vars = ph.total_vars() * 0.97,
                 volt_amperes = ph.total_volt_amperes() * 0.97;
    live.set(0x1606, watts);
    live.set(0x1607, vars);
    live.set(0x1608, volt_amperes);
    live.set(0x1609, watts * 1.01);
    live.set(0x160A, vars * 1.01);
    live.set(0x160B, volt_amperes * 1.01);
    live.set(0x160F, watts * 0.99);
    live.set(0x1610, vars * 0.99);
    live.set(0x1611, volt_amperes * 0.99);
    live.set(0x1612, ph.total_watts());
    live.set(0x1613, ph.total_vars());
    live.set(0x1614, ph.total_volt_amperes());
    live.set(0x1615, 930);
    for (std::uint16_t pid = 0x1616; pid <= 0x161D; ++pid) live.set(pid, 0);
    live.set(0x1622, 34);
}

// Energies: base values plus consumption at the day's mean power (0.01 kWh), so that the
// counters grow steadily from one log record to the next whatever the present power is.
void set_energies(LiveValues& live, Model model, double energy_hours) {
    constexpr double MEAN_KW = 8.0, MEAN_KVAR = 3.0, MEAN_KVA = 8.6;
    const double kwh = 12345678 + MEAN_KW * energy_hours * 100;
    const double kvarh = 4567890 + MEAN_KVAR * energy_hours * 100;
    const double kvah = 13579246 + MEAN_KVA * energy_hours * 100;
    live.set(0x1700, kwh);
    live.set(0x1701, 12345);
    live.set(0x1702, kwh - 12345);
    live.set(0x1703, kwh + 12345);
    live.set(0x1704, kvarh);
    live.set(0x1705, 2345);
    live.set(0x1706, kvarh - 2345);
    live.set(0x1707, kvarh + 2345);
    live.set(0x1708, kvah);
    live.set(0x170B, kvah);
    live.set(0x170C, 0);
    const int registers = energy_register_entries(model);
    for (int n = 0; n < registers; ++n) {
        const double counted = n == 0   ? kwh
                               : n == 1 ? kvarh
                               : n == 2 ? kvah
                                        : 100000.0 * (n + 1) + 17 * n;
        live.set(static_cast<std::uint16_t>(0x1780 + n), counted);
        live.set(static_cast<std::uint16_t>(0x4780 + n), n < 3 ? 9876 + 100 * n : 0);
    }
}

// Maximum demands and the largest values seen.
void set_maxima(LiveValues& live) {
    for (int k = 0; k < 3; ++k) {
        live.set(static_cast<std::uint16_t>(0x3700 + k), 2410 + 4 * k);
        live.set(static_cast<std::uint16_t>(0x3703 + k), 2150 + 30 * k);
    }
    live.set(0x3709, 9876);
    live.set(0x370A, 3210);
    live.set(0x370B, 10400);
    live.set(0x370F, 0);
    live.set(0x3710, 0);
    live.set(0x3715, 120);
}

// Raw values (voltages in 0.1 V, currents in 0.01 A, powers in W = 0.001 kW, PF in 0.001,
// energies in 0.01 kWh) at time t. Energies: `energy_hours` hours of consumption past the base
// values.
Points live_points(Model model, double t, double energy_hours) {
    LiveValues live;
    live.points.reserve(320);
    const auto tick = static_cast<std::uint64_t>(t);
    const Phases ph = phases_at(2 * PI * t / 86400.0, tick);
    set_per_phase(live, ph);
    set_totals(live, ph);
    set_frequency_and_unbalance(live, model, tick);
    set_angles_and_demands(live, ph);
    set_energies(live, model, energy_hours);
    set_maxima(live);
    return live.points;
}

std::vector<std::int32_t> column_values(const Points& live,
                                        const std::vector<std::uint16_t>& cols) {
    std::vector<std::int32_t> v(cols.size(), 0);
    for (auto& [pid, raw] : live)
        for (std::size_t i = 0; i < cols.size(); ++i)
            if (cols[i] == pid) v[i] = raw;
    return v;
}

LogFile event_log(int count, std::int64_t now, std::int64_t span, const WallClock& wall) {
    LogFile f;
    f.records_per_block = 16;
    const std::int64_t first = now - span;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t t = wall_stamp(wall, first + span * (i + 1) / (count + 1));
        auto ms =
            static_cast<std::uint32_t>((noise(static_cast<std::uint64_t>(i) * 31) + 1) * 499) *
            1000;
        auto seq = static_cast<std::uint16_t>(i + 1);
        auto no = static_cast<std::uint16_t>(i + 1);
        const int kind = i % 10;
        std::uint16_t src = 0, eff = 0;
        std::int32_t val = 0;
        const int n = (i / 10) % 4;
        switch (kind) {
            case 0:
                src = 0x6300;
                break;  // power down
            case 1:
                src = 0x6308;
                break;  // power up
            case 2:
                src = 0x1100;
                eff = static_cast<std::uint16_t>(0xE100 + n);
                val = 2530;
                break;  // V1 high operated
            case 3:
                src = 0x1100;
                eff = static_cast<std::uint16_t>(0xE200 + n);
                val = 2480;
                break;  // released
            case 4:
                src = 0x1403;
                eff = static_cast<std::uint16_t>(0xE100 + 4 + n);
                val = 820;
                break;
            case 5:
                src = 0x1403;
                eff = static_cast<std::uint16_t>(0xE200 + 4 + n);
                val = 900;
                break;
            case 6:
                src = static_cast<std::uint16_t>(0x5A00 + n);
                eff = static_cast<std::uint16_t>(0x3000 + n);
                break;
            case 7:
                src = 0x5B15;
                eff = 0xF400;
                break;  // setup change
            case 8:
                src = 0;
                eff = static_cast<std::uint16_t>(i % 20 == 8 ? 0x6000 : 0x6100 + n);
                break;  // clears
            default:
                src = 0;
                eff = 0xF500;
                break;  // clock set
        }
        f.records.push_back(event_record(0, seq, t, ms, no, src, eff, val));
    }
    return f;
}

}  // namespace

Meter default_meter(Model model, int records, std::int64_t now, int events, const WallClock& wall) {
    Meter m;
    m.model = model;
    Identity id;
    if (model == Model::em133) {
        id.serial = 1201784;
        id.model_id = 133;
        id.model_name = "EM133";
        id.options = 0;
        id.firmware_version = 3;
        id.firmware_build = 12;
        id.bootloader_version = 1;
        id.bootloader_build = 4;
        m.high_resolution = 1;
        // The setup registers between the high-resolution setting and the energy decimals, so
        // that the four are read as one range, as on a meter.
        m.registers[HIGH_RESOLUTION_EM133 + 1] = 0;
        m.registers[HIGH_RESOLUTION_EM133 + 2] = 0;
        m.energy_units = {1, 2, 3, 4, 1, 2, 3, 1, 5, 6, 7, 8};
    } else {
        id.serial = 2350417;
        id.model_id = 235;
        id.model_name = "EM235";
        id.options = 0x10002;
        id.firmware_version = 2;
        id.firmware_build = 3;
        id.bootloader_version = 4;
        id.bootloader_build = 5;
        m.energy_units = {1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 1, 2, 3, 1, 2};
    }
    m.identity = id;
    m.pt_ratio = 10;
    m.energy_decimals = 2;
    for (const Family& f : FAMILIES) m.present_families.push_back(f.base_pid);
    for (auto& [pid, raw] : live_points(model, static_cast<double>(now), 0)) m.points[pid] = raw;

    if (records < 0) records = 0;
    const std::int64_t end = newest_record_time(now);
    const std::vector<std::vector<std::uint16_t>> cols = {
        {0x1100, 0x1101, 0x1102, 0x1103, 0x1104, 0x1105, 0x1400, 0x1403, 0x1700},
        {0x1106, 0x1107, 0x1108, 0x1401, 0x1402, 0x1502, 0x1112, 0x1113, 0x1114},
        {0x1606, 0x1607, 0x1608, 0x1700, 0x1701, 0x1704, 0x1780},
    };
    for (int file = 1; file <= 3; ++file) {
        LogFile& f = m.logs[file];
        f.columns = cols[static_cast<std::size_t>(file - 1)];
        f.records_per_block = 8;
        f.records.reserve(static_cast<std::size_t>(records));
    }
    for (int i = 0; i < records;
         ++i) {  // one evaluation of the live values per time stamp, for all files
        const std::int64_t t = end - static_cast<std::int64_t>(records - 1 - i) * 900;
        const Points live =
            live_points(model, static_cast<double>(t), static_cast<double>(t - now) / 3600.0);
        for (int file = 1; file <= 3; ++file) {
            LogFile& f = m.logs[file];
            auto seq = static_cast<std::uint16_t>(1000 * file + i);
            f.records.push_back(
                datalog_record(0, seq, wall_stamp(wall, t), 0, 0, column_values(live, f.columns)));
        }
    }
    m.logs[0] =
        event_log(events, now, static_cast<std::int64_t>(std::max(records, 96)) * 900, wall);
    return m;
}

namespace {
// The live values of a `model` meter at time t, the overrides written over them.
std::map<std::uint16_t, std::int32_t> live_point_map(
    Model model, double t, double start, const std::map<std::uint16_t, std::int32_t>& overrides) {
    std::map<std::uint16_t, std::int32_t> points;
    for (auto& [pid, raw] : live_points(model, t, (t - start) / 3600.0 * ENERGY_ACCEL))
        points[pid] = raw;
    for (auto& [pid, v] : overrides) points[pid] = v;
    return points;
}
}  // namespace

void update_live_values(Simulator& sim, double t, double start,
                        const std::map<std::uint16_t, std::int32_t>& overrides) {
    sim.set_points(live_point_map(sim.model(), t, start, overrides));
}

void update_live_values(Simulator& sim, std::uint8_t unit, double t, double start,
                        const std::map<std::uint16_t, std::int32_t>& overrides) {
    const std::optional<Model> model = sim.unit_model(unit);
    if (!model) throw std::invalid_argument("ksim: no meter at unit " + std::to_string(unit));
    sim.set_unit_points(unit, live_point_map(*model, t, start, overrides));
}

}  // namespace ksim
