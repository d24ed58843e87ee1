// SPDX-License-Identifier: MIT
// How many probes talk to one gateway (one HOST:PORT) at a time. A Modbus gateway passes one
// request at a time to its bus and takes only one or a few connections: probes beyond the bound
// wait for a free slot, each no longer than its own deadline, instead of pushing the gateway into
// refusals or silence.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

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

    // A slot of `gateway`, waiting for one to be free until `deadline`; nothing when none was
    // free by then, or once `abandoned` says that the wait is pointless (looked at a few times
    // a second).
    std::optional<Holder> acquire(const std::string& gateway, Clock::time_point deadline,
                                  const std::function<bool()>& abandoned);

private:
    void release(const std::string& gateway);

    const int per_gateway_;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::map<std::string, int> busy_;  // slots held per gateway; gateways with none are dropped
};

}  // namespace kexp
