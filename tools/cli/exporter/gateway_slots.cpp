// SPDX-License-Identifier: MIT
#include "exporter/gateway_slots.hpp"

#include <algorithm>
#include <utility>

namespace kexp {

GatewaySlots::Holder::Holder(GatewaySlots& slots, std::string gateway)
    : slots_(&slots), gateway_(std::move(gateway)) {}

GatewaySlots::Holder::Holder(Holder&& other) noexcept
    : slots_(std::exchange(other.slots_, nullptr)), gateway_(std::move(other.gateway_)) {}

GatewaySlots::Holder::~Holder() {
    if (slots_) slots_->release(gateway_);
}

GatewaySlots::GatewaySlots(int per_gateway) : per_gateway_(std::max(1, per_gateway)) {}

std::optional<GatewaySlots::Holder> GatewaySlots::acquire(const std::string& gateway,
                                                          Clock::time_point deadline,
                                                          const std::function<bool()>& abandoned) {
    constexpr auto LOOK_AGAIN = std::chrono::milliseconds(200);
    std::unique_lock lock(mutex_);
    Gateway& state = gateways_[gateway];  // a map's elements stay where they are
    const Waiter me{deadline, arrivals_++};
    state.waiting.insert(me);
    while (state.busy >= per_gateway_ || *state.waiting.begin() != me) {
        if (Clock::now() >= deadline || abandoned()) {
            state.waiting.erase(me);
            forget_if_idle(gateway);
            lock.unlock();
            freed_.notify_all();  // the next in line may be free to go now
            return std::nullopt;
        }
        // Waiters of other gateways wake too and go back to sleep: one condition variable keeps
        // the bookkeeping simple, and few probes wait at once.
        freed_.wait_until(lock, std::min(deadline, Clock::now() + LOOK_AGAIN));
    }
    state.waiting.erase(me);
    ++state.busy;
    const bool others_may_go = state.busy < per_gateway_ && !state.waiting.empty();
    lock.unlock();
    if (others_may_go) freed_.notify_all();
    return Holder(*this, gateway);
}

void GatewaySlots::release(const std::string& gateway) {
    {
        const std::lock_guard lock(mutex_);
        if (const auto it = gateways_.find(gateway); it != gateways_.end()) {
            --it->second.busy;
            forget_if_idle(gateway);
        }
    }
    freed_.notify_all();
}

void GatewaySlots::forget_if_idle(const std::string& gateway) {
    const auto it = gateways_.find(gateway);
    if (it != gateways_.end() && it->second.busy <= 0 && it->second.waiting.empty())
        gateways_.erase(it);
}

}  // namespace kexp
