// SPDX-License-Identifier: MIT
#include "common/gateway_queue.hpp"

#include <chrono>

namespace kcli {

GatewayQueue::GatewayQueue(std::vector<std::string> gateway_of_item, int per_gateway)
    : gateway_of_(std::move(gateway_of_item)),
      handed_out_(gateway_of_.size(), false),
      per_gateway_(per_gateway < 1 ? 1 : per_gateway) {}

std::optional<GatewayQueue::Item> GatewayQueue::next(const std::function<bool()>& stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stop()) return std::nullopt;
        bool any_left = false;
        for (std::size_t i = 0; i < gateway_of_.size(); ++i) {
            if (handed_out_[i]) continue;
            any_left = true;
            const std::string& gateway = gateway_of_[i];
            if (const auto failed = failed_.find(gateway); failed != failed_.end()) {
                handed_out_[i] = true;
                return Item{i, failed->second};
            }
            if (running_[gateway] >= per_gateway_) continue;
            handed_out_[i] = true;
            ++running_[gateway];
            return Item{i, std::nullopt};
        }
        if (!any_left) return std::nullopt;
        // Woken by done(); the time limit only lets `stop` be asked again.
        freed_.wait_for(lock, std::chrono::milliseconds(100));
    }
}

void GatewayQueue::done(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        --running_[gateway_of_[index]];
    }
    freed_.notify_all();
}

std::string GatewayQueue::fail_gateway(std::size_t index, const std::string& reason) {
    std::lock_guard lock(mutex_);
    const std::string& gateway = gateway_of_[index];
    return failed_.try_emplace(gateway, "gateway " + gateway + " unreachable: " + reason)
        .first->second;
}

bool is_connect_failure(const std::string& message) {
    return message.starts_with("Cannot connect") || message.starts_with("Timed out connecting") ||
           message.starts_with("Cannot resolve host");
}

}  // namespace kcli
