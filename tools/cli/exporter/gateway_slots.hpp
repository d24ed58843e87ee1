// SPDX-License-Identifier: MIT
// How many probes talk to one gateway (one HOST:PORT) at a time. A Modbus gateway takes only one
// or a few connections, and each probe's call holds one: probes beyond the bound wait for a free
// slot, each no longer than its own deadline, instead of pushing the gateway into refusals. The
// library paces the requests themselves, one at a time with the gateway's gap, across every
// kolvane program of the machine. A freed slot goes to the waiting probe whose deadline comes
// first (the first to come among equals), so that a probe is never overtaken by one that could
// wait longer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace kexp {

class GatewaySlots {
public:
    using Clock = std::chrono::steady_clock;

    // Holds one slot of a gateway until destroyed.
    class Holder {
    public:
        Holder(Holder&& other) noexcept;
        Holder(const Holder&) = delete;
        Holder& operator=(const Holder&) = delete;
        Holder& operator=(Holder&&) = delete;
        ~Holder();

    private:
        friend class GatewaySlots;
        Holder(GatewaySlots& slots, std::string gateway);

        GatewaySlots* slots_;  // null once moved from
        std::string gateway_;
    };

    explicit GatewaySlots(int per_gateway);

    // A slot of `gateway`, waiting for its turn until `deadline`; nothing when it did not come by
    // then, or once `abandoned` says that the wait is pointless (looked at a few times a second).
    std::optional<Holder> acquire(const std::string& gateway, Clock::time_point deadline,
                                  const std::function<bool()>& abandoned);

private:
    using Waiter = std::pair<Clock::time_point, std::uint64_t>;  // deadline, order of coming

    struct Gateway {
        int busy = 0;              // slots held
        std::set<Waiter> waiting;  // in the order they get their turn
    };

    void release(const std::string& gateway);
    // Drops `gateway` when nobody holds or awaits it: the map stays small when any target may be
    // probed.
    void forget_if_idle(const std::string& gateway);

    const int per_gateway_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::map<std::string, Gateway> gateways_;
    std::uint64_t arrivals_ = 0;
};

}  // namespace kexp
