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
    auto free = [&] {
        const auto it = busy_.find(gateway);
        return it == busy_.end() || it->second < per_gateway_;
    };
    while (!free()) {
        if (Clock::now() >= deadline || abandoned()) return std::nullopt;
        freed_.wait_until(lock, std::min(deadline, Clock::now() + LOOK_AGAIN));
    }
    ++busy_[gateway];
    return Holder(*this, gateway);
}

void GatewaySlots::release(const std::string& gateway) {
    {
        const std::lock_guard lock(mutex_);
        // Dropping idle gateways keeps the map small when any target may be probed.
        if (const auto it = busy_.find(gateway); it != busy_.end() && --it->second <= 0)
            busy_.erase(it);
    }
    // Waiters of other gateways wake too and go back to sleep: one condition variable keeps the
    // bookkeeping simple, and few probes wait at once.
    freed_.notify_all();
}

}  // namespace kexp
