// SPDX-License-Identifier: MIT
// Faults before the first byte: a refused connection and a connection that never completes,
// for every operation. Nothing is handed back and no file is created.
#include <gtest/gtest.h>

#include <string>

#include "fault_check.hpp"
#include "support/loopback_ports.hpp"

namespace kfault {
namespace {

TEST(ConnectFaults, RefusedConnection) {
    const ktest::RefusingPort refusing;
    const uint16_t port = refusing.port();
    for (const Op op : ALL_OPS) {
        expect_call(nullptr, op, {port, TIMEOUT_MS, 0},
                    {-1, "Cannot connect to 127.0.0.1:" + std::to_string(port), {}, 0});
        FaultMeter meter;
        expect_recovers(meter, op);
    }
}

TEST(ConnectFaults, ConnectTimeOut) {
    const ktest::SilentPort backlog;
    for (const Op op : ALL_OPS) {
        expect_call(
            nullptr, op, {backlog.port(), TIMEOUT_MS, 0},
            {-1, "Timed out connecting to 127.0.0.1:" + std::to_string(backlog.port()), {}, 1});
        FaultMeter meter;
        expect_recovers(meter, op);
    }
}

}  // namespace
}  // namespace kfault
