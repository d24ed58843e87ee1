// SPDX-License-Identifier: MIT
// Meter content: model constants, families, identity block, scaling registers, points, plain
// registers.
#include "internal.hpp"

#include <stdexcept>

namespace ksim {

const char* model_name(Model model) { return model == Model::em235 ? "em235" : "em133"; }

std::optional<Model> parse_model(const std::string& text) {
    if (text == "em133") return Model::em133;
    if (text == "em235" || text == "pm335") return Model::em235;
    return std::nullopt;
}

std::uint16_t pt_ratio_register(Model m) {
    return m == Model::em235 ? PT_RATIO_EM235 : PT_RATIO_EM133;
}
std::uint16_t energy_decimals_register(Model m) {
    return m == Model::em235 ? ENERGY_DECIMALS_EM235 : ENERGY_DECIMALS_EM133;
}
int energy_register_entries(Model m) { return m == Model::em235 ? 16 : 12; }

const std::array<Family, 12> FAMILIES = {{
    {0x0C00, 13312, 13312},
    {0x0F00, 13696, 13696},
    {0x1000, 13824, 13824},
    {0x1080, 13864, 13888},
    {0x1100, 13952, 13952},
    {0x1400, 14336, 14336},
    {0x1500, 14464, 14464},
    {0x1600, 14592, 14592},
    {0x1700, 14720, 14720},
    {0x1780, 14760, 14784},
    {0x3700, 18816, 18816},
    {0x4780, 20904, 20928},
}};

std::optional<std::uint16_t> point_register(Model model, std::uint16_t pid) {
    const std::uint16_t base = pid & 0xFF80;
    for (const Family& f : FAMILIES) {
        if (f.base_pid != base) continue;
        std::uint16_t reg = model == Model::em235 ? f.em235_register : f.em133_register;
        return static_cast<std::uint16_t>(reg + 2 * (pid - base));
    }
    return std::nullopt;
}

std::array<std::uint16_t, IDENTITY_WORDS> Identity::words() const {
    std::array<std::uint16_t, IDENTITY_WORDS> w{};
    w[0] = static_cast<std::uint16_t>(serial & 0xFFFF);
    w[1] = static_cast<std::uint16_t>(serial >> 16);
    w[2] = static_cast<std::uint16_t>(model_id & 0xFFFF);
    w[3] = static_cast<std::uint16_t>(model_id >> 16);
    for (std::size_t i = 0; i < 16 && i < model_name.size(); ++i) {
        auto b = static_cast<std::uint8_t>(model_name[i]);
        w[4 + i / 2] |= static_cast<std::uint16_t>(i % 2 == 0 ? b << 8 : b);
    }
    w[12] = static_cast<std::uint16_t>(options & 0xFFFF);
    w[13] = static_cast<std::uint16_t>(options >> 16);
    w[20] = firmware_version;
    w[21] = firmware_build;
    w[24] = bootloader_version;
    w[25] = bootloader_build;
    return w;
}

void append_next_records(LogFile& log, int count, std::uint32_t step_seconds) {
    for (int i = 0; i < count && !log.records.empty(); ++i) {
        std::vector<std::uint16_t> record = log.records.back();
        record[1] = static_cast<std::uint16_t>(record[1] + 1);
        const std::uint32_t seconds =
            (record[2] | (static_cast<std::uint32_t>(record[3]) << 16)) + step_seconds;
        record[2] = static_cast<std::uint16_t>(seconds);
        record[3] = static_cast<std::uint16_t>(seconds >> 16);
        log.records.push_back(std::move(record));
    }
}

std::vector<std::uint16_t> datalog_record(std::uint16_t status, std::uint16_t seq,
                                          std::uint32_t seconds, std::uint32_t micros,
                                          std::uint16_t trigger,
                                          const std::vector<std::int32_t>& values) {
    std::vector<std::uint16_t> w{status,
                                 seq,
                                 static_cast<std::uint16_t>(seconds & 0xFFFF),
                                 static_cast<std::uint16_t>(seconds >> 16),
                                 static_cast<std::uint16_t>(micros & 0xFFFF),
                                 static_cast<std::uint16_t>(micros >> 16),
                                 trigger,
                                 0};
    for (std::int32_t v : values) {
        auto u = static_cast<std::uint32_t>(v);
        w.push_back(static_cast<std::uint16_t>(u & 0xFFFF));
        w.push_back(static_cast<std::uint16_t>(u >> 16));
    }
    return w;
}

std::vector<std::uint16_t> event_record(std::uint16_t status, std::uint16_t seq,
                                        std::uint32_t seconds, std::uint32_t micros,
                                        std::uint16_t event_no, std::uint16_t source_id,
                                        std::uint16_t effect_id, std::int32_t value) {
    auto u = static_cast<std::uint32_t>(value);
    return {status,
            seq,
            static_cast<std::uint16_t>(seconds & 0xFFFF),
            static_cast<std::uint16_t>(seconds >> 16),
            static_cast<std::uint16_t>(micros & 0xFFFF),
            static_cast<std::uint16_t>(micros >> 16),
            event_no,
            source_id,
            effect_id,
            0,
            static_cast<std::uint16_t>(u & 0xFFFF),
            static_cast<std::uint16_t>(u >> 16)};
}

// ------------------------------------------------------------------ Simulator content setters
namespace {
void put_opt(RegisterSpace& regs, std::uint16_t a, std::optional<std::uint16_t> v) {
    if (v)
        regs.set(a, *v);
    else
        regs.erase(a);
}
}  // namespace

void Simulator::Impl::put_point(std::uint16_t pid, std::int32_t raw) {
    auto reg = point_register(model, pid);
    if (!reg)
        throw std::invalid_argument("ksim: point " + std::to_string(pid) +
                                    " lies in no register family");
    auto u = static_cast<std::uint32_t>(raw);
    regs.set(*reg, static_cast<std::uint16_t>(u & 0xFFFF));
    regs.set(static_cast<std::uint16_t>(*reg + 1), static_cast<std::uint16_t>(u >> 16));
}

void Simulator::set_register(std::uint16_t a, std::uint16_t v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->regs.set(a, v);
}
void Simulator::set_registers(std::uint16_t a, const std::vector<std::uint16_t>& v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->regs.set(a, v);
}
void Simulator::erase_registers(std::uint16_t a, std::size_t n) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->regs.erase(a, n);
}
void Simulator::clear_registers() {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->regs.clear();
}
std::optional<std::uint16_t> Simulator::get_register(std::uint16_t a) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (!impl_->regs.has(a)) return std::nullopt;
    return impl_->regs.get(a);
}

void Simulator::set_identity(const Identity& id) {
    auto w = id.words();
    set_registers(IDENTITY_REGISTER, std::vector<std::uint16_t>(w.begin(), w.end()));
}
void Simulator::clear_identity() { erase_registers(IDENTITY_REGISTER, IDENTITY_WORDS); }

void Simulator::set_pt_ratio(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    put_opt(impl_->regs, pt_ratio_register(impl_->model), v);
}
void Simulator::set_high_resolution(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (impl_->model == Model::em133) put_opt(impl_->regs, HIGH_RESOLUTION_EM133, v);
}
void Simulator::set_energy_decimals(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    put_opt(impl_->regs, energy_decimals_register(impl_->model), v);
}
void Simulator::set_energy_unit(int entry, std::optional<std::uint16_t> code) {
    if (entry < 0 || entry > 15)
        throw std::invalid_argument("ksim: energy register entry must be 0-15");
    std::lock_guard<std::mutex> lk(impl_->mu);
    auto a = static_cast<std::uint16_t>(ENERGY_SETUP_REGISTER + 4 * entry);
    if (code)
        impl_->regs.set(a, {0, *code, 0, 0});
    else
        impl_->regs.erase(a, 4);
}
void Simulator::set_energy_units(const std::vector<std::uint16_t>& codes) {
    for (int i = 0; i < 16; ++i)
        set_energy_unit(i, i < static_cast<int>(codes.size())
                               ? std::optional<std::uint16_t>(codes[i])
                               : std::nullopt);
}

void Simulator::set_point(std::uint16_t pid, std::int32_t raw) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->put_point(pid, raw);
}
void Simulator::set_points(const std::map<std::uint16_t, std::int32_t>& points) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    for (auto& [pid, raw] : points) impl_->put_point(pid, raw);
}
std::optional<std::int32_t> Simulator::point(std::uint16_t pid) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    auto reg = point_register(impl_->model, pid);
    if (!reg || !impl_->regs.has(*reg) || !impl_->regs.has(static_cast<std::uint16_t>(*reg + 1)))
        return std::nullopt;
    std::uint32_t u =
        impl_->regs.get(*reg) | (static_cast<std::uint32_t>(impl_->regs.get(*reg + 1)) << 16);
    return static_cast<std::int32_t>(u);
}
void Simulator::set_family_present(std::uint16_t base_pid, bool present) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    auto reg = point_register(impl_->model, base_pid);
    if (!reg || (base_pid & 0x7F) != 0)
        throw std::invalid_argument("ksim: not the base of a register family");
    if (present)
        impl_->regs.set(*reg, std::vector<std::uint16_t>(256, 0));
    else
        impl_->regs.erase(*reg, 256);
}
void Simulator::set_all_families_present(bool present) {
    for (const Family& f : FAMILIES) set_family_present(f.base_pid, present);
}

void Simulator::load(const Meter& m) {
    if (m.model != impl_->model)
        throw std::invalid_argument("ksim: meter description is for another model");
    if (m.identity) set_identity(*m.identity);
    if (m.pt_ratio) set_pt_ratio(m.pt_ratio);
    if (m.high_resolution) set_high_resolution(m.high_resolution);
    if (m.energy_decimals) set_energy_decimals(m.energy_decimals);
    if (!m.energy_units.empty()) set_energy_units(m.energy_units);
    for (std::uint16_t base : m.present_families) set_family_present(base, true);
    set_points(m.points);
    for (auto& [a, v] : m.registers) set_register(a, v);
    for (auto& [id, file] : m.logs) set_log(id, file);
}

}  // namespace ksim
