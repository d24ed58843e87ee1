// SPDX-License-Identifier: MIT
// What every faulted call is held to: its status and exact message, the texts it handed back
// (complete and kept), its time limit plus a margin, no descriptor left open; and that the
// next call on the meter, healthy again, works in full.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "fault_meter.hpp"
#include "operations.hpp"
#include "simulator.hpp"
#include "support/descriptors.hpp"

namespace kfault {

// Generous: the machine is shared and the suite also runs under AddressSanitizer.
inline constexpr int MARGIN_MS = 2500;
inline constexpr int TIMEOUT_MS = 250;

// Messages that name the meter's address: "{port}" stands for the port of the call's meter.
inline const std::string NO_REPLY = "no reply from 127.0.0.1:{port} (unit 1) within 250 ms";
inline const std::string BUSY = "gateway 127.0.0.1:{port} busy after 3 tries: set gap=50";
inline const std::string NO_METER = "no meter answered at unit 1 behind 127.0.0.1:{port}";

inline std::string with_port(std::string message, uint16_t port) {
    const std::string mark = "{port}";
    if (const size_t at = message.find(mark); at != std::string::npos)
        message.replace(at, mark.size(), std::to_string(port));
    return message;
}

struct Expected {
    int status = 0;
    std::string message;             // empty on success
    std::vector<std::string> texts;  // exactly what the call handed back
    int waits = 0;                   // time limits the call may spend waiting
};

// The fixture meter served on a port of its own.
struct FaultMeter {
    ksim::Simulator sim{ksim::Model::em133};
    uint16_t port = (load_fixture(sim), sim.start());
    Call call(int cancel_after = 0) const { return {port, TIMEOUT_MS, cancel_after}; }
};

// The first n texts of a healthy call: what a call failing after them must have kept.
inline std::vector<std::string> first(const std::vector<std::string>& texts, size_t n) {
    return {texts.begin(), texts.begin() + std::min(n, texts.size())};
}

// What each operation hands back from the healthy fixture meter (checked literally by
// HealthyMeter.*), the reference for the texts a faulted call keeps.
inline const Outcome& healthy(Op op) {
    static std::map<Op, Outcome> cache;
    if (const auto found = cache.find(op); found != cache.end()) return found->second;
    FaultMeter meter;
    return cache.emplace(op, run(op, meter.call())).first->second;
}

inline Outcome expect_call(const ksim::Simulator* sim, Op op, const Call& call,
                           const Expected& want) {
    SCOPED_TRACE(op_name(op));
    const int before = ktest::open_descriptors();
    Outcome got = run(op, call);
    if (sim != nullptr) {
        EXPECT_TRUE(sim->wait_until_idle(std::chrono::seconds(5))) << "connection left open";
    }
    EXPECT_EQ(ktest::open_descriptors(), before) << "descriptors left open";
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.err, with_port(want.message, call.port));
    EXPECT_EQ(got.texts, want.texts);
    EXPECT_LE(got.elapsed.count(), want.waits * call.timeout_ms + MARGIN_MS) << "ms spent";
    return got;
}

// The meter healthy again (faults cleared, logs reset): the next call gives the full result.
inline void expect_recovers(FaultMeter& meter, Op op) {
    SCOPED_TRACE("next call on the healthy meter");
    load_fixture(meter.sim);
    const Outcome& want = healthy(op);
    expect_call(&meter.sim, op, meter.call(), {want.status, "", want.texts, 0});
}

}  // namespace kfault
