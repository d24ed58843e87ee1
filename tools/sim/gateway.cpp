// SPDX-License-Identifier: MIT
// The simulator as a Modbus TCP gateway: several meters behind one port, told apart by unit id,
// and the pacing of the link and bus behind it.
#include "internal.hpp"

#include <stdexcept>

namespace ksim {

MeterContent& Simulator::Impl::unit_content(std::uint8_t unit) {
    auto it = units.find(unit);
    if (it == units.end())
        throw std::invalid_argument("ksim: no meter at unit " + std::to_string(unit));
    return it->second;
}

void Simulator::add_unit(std::uint8_t unit, const Meter& meter) {
    MeterContent content(meter.model);
    content.load(meter);
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->units.insert_or_assign(unit, std::move(content));
}

std::vector<std::uint8_t> Simulator::units() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    std::vector<std::uint8_t> ids;
    for (const auto& entry : impl_->units) ids.push_back(entry.first);
    return ids;
}

std::optional<Model> Simulator::unit_model(std::uint8_t unit) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    auto it = impl_->units.find(unit);
    if (it == impl_->units.end()) return std::nullopt;
    return it->second.model;
}

void Simulator::update_unit_log(std::uint8_t unit, int file_id,
                                const std::function<void(LogFile&)>& change) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->unit_content(unit).update_log(file_id, change);
}

std::size_t Simulator::unit_log_cursor(std::uint8_t unit, int file_id) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->unit_content(unit).log_cursor(file_id);
}

void Simulator::set_unit_points(std::uint8_t unit,
                                const std::map<std::uint16_t, std::int32_t>& points) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    MeterContent& content = impl_->unit_content(unit);
    for (auto& [pid, raw] : points) content.put_point(pid, raw);
}

std::optional<std::int32_t> Simulator::unit_point(std::uint8_t unit, std::uint16_t pid) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->unit_content(unit).point(pid);
}

std::optional<std::uint16_t> Simulator::unit_register(std::uint8_t unit,
                                                      std::uint16_t address) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    const RegisterSpace& regs = impl_->unit_content(unit).regs;
    if (!regs.has(address)) return std::nullopt;
    return regs.get(address);
}

void Simulator::set_latency(std::chrono::milliseconds latency) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->latency = latency;
}

void Simulator::set_max_connections(std::size_t n) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->max_connections = n;
}

void Simulator::set_min_gap(std::chrono::milliseconds gap) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->min_gap = gap;
}

void Simulator::set_request_observer(std::function<void(const Request&)> observer) {
    auto shared =
        observer ? std::make_shared<const std::function<void(const Request&)>>(std::move(observer))
                 : nullptr;
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->observer = std::move(shared);
}

}  // namespace ksim
