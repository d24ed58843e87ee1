// SPDX-License-Identifier: MIT
#include "exporter/meter_holds.hpp"

#include <algorithm>
#include <utility>

namespace kexp {

MeterHolds::Attempt::Attempt(MeterHolds& holds, std::string meter, bool trial)
    : holds_(&holds), meter_(std::move(meter)), trial_(trial) {}

MeterHolds::Attempt::Attempt(Attempt&& other) noexcept
    : holds_(std::exchange(other.holds_, nullptr)),
      meter_(std::move(other.meter_)),
      trial_(other.trial_) {}

MeterHolds::Attempt::~Attempt() {
    if (holds_ && trial_) holds_->tried(meter_);
}

void MeterHolds::Attempt::answered() {
    if (!holds_) return;
    const std::lock_guard lock(holds_->mutex_);
    holds_->failed_.erase(meter_);
    holds_ = nullptr;
}

void MeterHolds::Attempt::silent(const std::string& error, Clock::time_point now) {
    if (!holds_) return;
    MeterHolds& holds = *std::exchange(holds_, nullptr);
    if (holds.rule_.first <= Clock::duration::zero()) return;
    const std::lock_guard lock(holds.mutex_);
    if (!holds.failed_.contains(meter_) && holds.failed_.size() >= holds.capacity_)
        holds.make_room();
    Failed& failed = holds.failed_[meter_];
    failed.error = error;
    failed.until = now + holds.hold_after(++failed.failures);
    failed.trying = false;
}

MeterHolds::MeterHolds(Rule rule, std::size_t capacity)
    : rule_{rule.first, std::max(rule.first, rule.longest)},
      capacity_(std::max<std::size_t>(capacity, 1)) {}

std::variant<MeterHolds::Held, MeterHolds::Attempt> MeterHolds::start(const std::string& meter,
                                                                      Clock::time_point now) {
    const std::lock_guard lock(mutex_);
    const auto it = failed_.find(meter);
    if (it == failed_.end()) return Attempt(*this, meter, false);
    Failed& failed = it->second;
    if (now < failed.until || failed.trying)
        return Held{failed.error, failed.failures,
                    std::max(failed.until - now, Clock::duration::zero())};
    failed.trying = true;
    return Attempt(*this, meter, true);
}

MeterHolds::Clock::duration MeterHolds::hold_after(int failures) const {
    Clock::duration hold = rule_.first;
    for (int i = 1; i < failures && hold < rule_.longest; ++i) hold *= 2;
    return std::min(hold, rule_.longest);
}

void MeterHolds::tried(const std::string& meter) {
    const std::lock_guard lock(mutex_);
    if (const auto it = failed_.find(meter); it != failed_.end()) it->second.trying = false;
}

void MeterHolds::make_room() {
    auto first_free = failed_.end();
    for (auto it = failed_.begin(); it != failed_.end(); ++it)
        if (!it->second.trying &&
            (first_free == failed_.end() || it->second.until < first_free->second.until))
            first_free = it;
    if (first_free != failed_.end()) failed_.erase(first_free);
}

}  // namespace kexp
