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

std::uint32_t wall_stamp(const WallClock& wall, std::int64_t utc) {
    return static_cast<std::uint32_t>(wall ? wall(utc) : utc);
}

namespace {
// A copy of the log's last record with the next sequence number and time stamp `seconds`.
void append_record(LogFile& log, std::uint32_t seconds) {
    std::vector<std::uint16_t> record = log.records.back();
    record[1] = static_cast<std::uint16_t>(record[1] + 1);
    record[2] = static_cast<std::uint16_t>(seconds);
    record[3] = static_cast<std::uint16_t>(seconds >> 16);
    log.records.push_back(std::move(record));
}
}  // namespace

void append_next_records(LogFile& log, int count, std::uint32_t step_seconds) {
    for (int i = 0; i < count && !log.records.empty(); ++i) {
        const std::vector<std::uint16_t>& last = log.records.back();
        append_record(log, (last[2] | (static_cast<std::uint32_t>(last[3]) << 16)) + step_seconds);
    }
}

void append_next_records(LogFile& log, int count, std::int64_t first_utc, const WallClock& wall,
                         std::uint32_t step_seconds) {
    for (int i = 0; i < count && !log.records.empty(); ++i) {
        const std::int64_t utc = first_utc + std::int64_t{step_seconds} * i;
        append_record(log, wall_stamp(wall, utc));
    }
}

void wrap_log(LogFile& log, std::size_t keep) {
    if (log.endless || log.records.size() <= keep) return;
    const std::size_t dropped = log.records.size() - keep;
    log.records.erase(log.records.begin(),
                      log.records.begin() + static_cast<std::ptrdiff_t>(dropped));
    log.start_index = static_cast<std::uint16_t>(log.start_index + dropped);
    if (log.info_records && *log.info_records > keep)
        log.info_records = static_cast<std::uint16_t>(keep);
    // empty_at names a record by its place in `records`, which moved.
    if (log.empty_at)
        log.empty_at = *log.empty_at >= dropped
                           ? std::optional<std::size_t>(*log.empty_at - dropped)
                           : std::nullopt;
}

namespace {

std::uint32_t stamp_of(const std::vector<std::uint16_t>& record) {
    return static_cast<std::uint32_t>(record[2] | (record[3] << 16));
}

// A meter numbers only the records it made: after records were taken out, the sequence numbers
// run on without a gap from the first record's.
void renumber(std::vector<std::vector<std::uint16_t>>& records) {
    for (std::size_t i = 1; i < records.size(); ++i)
        records[i][1] = static_cast<std::uint16_t>(records[0][1] + i);
}

}  // namespace

void add_power_outage(Meter& meter, std::int64_t down_utc, std::int64_t up_utc,
                      const WallClock& wall) {
    const auto stamp = [&](std::int64_t utc) {
        return static_cast<std::uint32_t>(wall ? wall(utc) : utc);
    };
    const std::uint32_t down = stamp(down_utc), up = stamp(up_utc);
    for (auto& [file_id, log] : meter.logs) {
        if (file_id == 0 || log.endless) continue;
        std::erase_if(log.records, [&](const std::vector<std::uint16_t>& record) {
            return stamp_of(record) >= down && stamp_of(record) < up;
        });
        renumber(log.records);
    }
    const auto events = meter.logs.find(0);
    if (events == meter.logs.end() || events->second.endless) return;
    auto& records = events->second.records;
    const std::uint16_t first_seq = records.empty() ? 1 : records.front()[1];
    const std::uint16_t first_no = records.empty() ? 1 : records.front()[6];
    for (const auto& [at, source] : {std::pair{down, 0x6300}, std::pair{up, 0x6308}}) {
        const auto later = std::find_if(records.begin(), records.end(),
                                        [at = at](const auto& r) { return stamp_of(r) > at; });
        records.insert(later,
                       event_record(0, 0, at, 0, 0, static_cast<std::uint16_t>(source), 0, 0));
    }
    if (!records.empty()) records[0][1] = first_seq;
    renumber(records);
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i][6] = static_cast<std::uint16_t>(first_no + i);
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

// ------------------------------------------------------------------ one meter's content
namespace {
void put_opt(RegisterSpace& regs, std::uint16_t a, std::optional<std::uint16_t> v) {
    if (v)
        regs.set(a, *v);
    else
        regs.erase(a);
}
std::vector<std::uint16_t> identity_words(const Identity& id) {
    const auto w = id.words();
    return {w.begin(), w.end()};
}
}  // namespace

void MeterContent::put_point(std::uint16_t pid, std::int32_t raw) {
    auto reg = point_register(model, pid);
    if (!reg)
        throw std::invalid_argument("ksim: point " + std::to_string(pid) +
                                    " lies in no register family");
    auto u = static_cast<std::uint32_t>(raw);
    regs.set(*reg, static_cast<std::uint16_t>(u & 0xFFFF));
    regs.set(static_cast<std::uint16_t>(*reg + 1), static_cast<std::uint16_t>(u >> 16));
}

std::optional<std::int32_t> MeterContent::point(std::uint16_t pid) const {
    auto reg = point_register(model, pid);
    if (!reg || !regs.has(*reg) || !regs.has(static_cast<std::uint16_t>(*reg + 1)))
        return std::nullopt;
    std::uint32_t u = regs.get(*reg) | (static_cast<std::uint32_t>(regs.get(*reg + 1)) << 16);
    return static_cast<std::int32_t>(u);
}

void MeterContent::set_energy_unit(int entry, std::optional<std::uint16_t> code) {
    if (entry < 0 || entry > 15)
        throw std::invalid_argument("ksim: energy register entry must be 0-15");
    auto a = static_cast<std::uint16_t>(ENERGY_SETUP_REGISTER + 4 * entry);
    if (code)
        regs.set(a, {0, *code, 0, 0});
    else
        regs.erase(a, 4);
}

void MeterContent::set_energy_units(const std::vector<std::uint16_t>& codes) {
    for (int i = 0; i < 16; ++i)
        set_energy_unit(i, i < static_cast<int>(codes.size())
                               ? std::optional<std::uint16_t>(codes[i])
                               : std::nullopt);
}

void MeterContent::set_family_present(std::uint16_t base_pid, bool present) {
    auto reg = point_register(model, base_pid);
    if (!reg || (base_pid & 0x7F) != 0)
        throw std::invalid_argument("ksim: not the base of a register family");
    if (present)
        regs.set(*reg, std::vector<std::uint16_t>(256, 0));
    else
        regs.erase(*reg, 256);
}

void MeterContent::load(const Meter& m) {
    if (m.model != model)
        throw std::invalid_argument("ksim: meter description is for another model");
    if (m.identity) regs.set(IDENTITY_REGISTER, identity_words(*m.identity));
    if (m.pt_ratio) regs.set(pt_ratio_register(model), *m.pt_ratio);
    if (m.high_resolution && model == Model::em133)
        regs.set(HIGH_RESOLUTION_EM133, *m.high_resolution);
    if (m.energy_decimals) regs.set(energy_decimals_register(model), *m.energy_decimals);
    if (!m.energy_units.empty()) set_energy_units(m.energy_units);
    for (std::uint16_t base : m.present_families) set_family_present(base, true);
    for (auto& [pid, raw] : m.points) put_point(pid, raw);
    for (auto& [a, v] : m.registers) regs.set(a, v);
    for (auto& [id, file] : m.logs) set_log(id, file);
}

// ------------------------------------------------------------------ Simulator content setters
void Simulator::set_register(std::uint16_t a, std::uint16_t v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.regs.set(a, v);
}
void Simulator::set_registers(std::uint16_t a, const std::vector<std::uint16_t>& v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.regs.set(a, v);
}
void Simulator::erase_registers(std::uint16_t a, std::size_t n) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.regs.erase(a, n);
}
void Simulator::clear_registers() {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.regs.clear();
}
std::optional<std::uint16_t> Simulator::get_register(std::uint16_t a) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (!impl_->content.regs.has(a)) return std::nullopt;
    return impl_->content.regs.get(a);
}

void Simulator::set_identity(const Identity& id) {
    set_registers(IDENTITY_REGISTER, identity_words(id));
}
void Simulator::clear_identity() { erase_registers(IDENTITY_REGISTER, IDENTITY_WORDS); }

void Simulator::set_pt_ratio(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    put_opt(impl_->content.regs, pt_ratio_register(impl_->content.model), v);
}
void Simulator::set_high_resolution(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    if (impl_->content.model == Model::em133)
        put_opt(impl_->content.regs, HIGH_RESOLUTION_EM133, v);
}
void Simulator::set_energy_decimals(std::optional<std::uint16_t> v) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    put_opt(impl_->content.regs, energy_decimals_register(impl_->content.model), v);
}
void Simulator::set_energy_unit(int entry, std::optional<std::uint16_t> code) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.set_energy_unit(entry, code);
}
void Simulator::set_energy_units(const std::vector<std::uint16_t>& codes) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.set_energy_units(codes);
}

void Simulator::set_point(std::uint16_t pid, std::int32_t raw) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.put_point(pid, raw);
}
void Simulator::set_points(const std::map<std::uint16_t, std::int32_t>& points) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    for (auto& [pid, raw] : points) impl_->content.put_point(pid, raw);
}
std::optional<std::int32_t> Simulator::point(std::uint16_t pid) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->content.point(pid);
}
void Simulator::set_family_present(std::uint16_t base_pid, bool present) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.set_family_present(base_pid, present);
}
void Simulator::set_all_families_present(bool present) {
    for (const Family& f : FAMILIES) set_family_present(f.base_pid, present);
}

void Simulator::load(const Meter& m) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.load(m);
}

}  // namespace ksim
