// SPDX-License-Identifier: MIT
// The order in which probes waiting for a gateway get their turn.
#include "exporter/gateway_slots.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;
using kexp::GatewaySlots;

// Of two probes waiting, the one whose budget ends first goes first, though it came later.
TEST(GatewaySlots, TheWaiterWhoseDeadlineComesFirstGoesFirst) {
    GatewaySlots slots(1);
    const auto now = GatewaySlots::Clock::now();
    std::optional<GatewaySlots::Holder> busy =
        slots.acquire("gw:502", now + 60s, [] { return false; });
    ASSERT_TRUE(busy);
    std::mutex mutex;
    std::vector<std::string> order;
    std::atomic<int> waiting{0};
    auto wait_for_turn = [&](const char* name, std::chrono::seconds budget) {
        bool counted = false;  // the first look at `abandoned` comes once it waits in line
        const auto held = slots.acquire("gw:502", now + budget, [&] {
            if (!std::exchange(counted, true)) ++waiting;
            return false;
        });
        const std::lock_guard lock(mutex);
        order.push_back(held ? name : "none");
    };
    std::thread late_deadline(wait_for_turn, "late deadline", 50s);
    while (waiting < 1) std::this_thread::sleep_for(1ms);
    std::thread early_deadline(wait_for_turn, "early deadline", 20s);
    while (waiting < 2) std::this_thread::sleep_for(1ms);
    busy.reset();
    late_deadline.join();
    early_deadline.join();
    EXPECT_EQ(order, (std::vector<std::string>{"early deadline", "late deadline"}));
}

}  // namespace
}  // namespace exporter_test
