// SPDX-License-Identifier: MIT
// IPv6 literals: a meter on the IPv6 loopback is read, and the endpoint in messages and log
// lines is bracketed so that the port stays apart from the address.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/client.hpp"
#include "simulator.hpp"
#include "support/journal.hpp"
#include "support/log_capture.hpp"
#include "support/sim_fixture.hpp"

namespace {

TEST(ConnectIpv6, MeterOnTheIpv6LoopbackIsRead) {
    ksim::Simulator sim;
    sim.set_registers(100, {0xABCD});
    kolvane::ConnectionOptions options;
    options.port = sim.start(0, "::1");
    options.timeout_ms = ktest::HANG_GUARD_MS;
    const std::string endpoint = "[::1]:" + std::to_string(options.port);

    ktest::LogCapture log;
    kolvane::ModbusTcpClient client("::1", options);
    client.connect();
    EXPECT_EQ(client.endpoint(), endpoint);
    EXPECT_EQ(log.at_level(3), std::vector<std::string>{"Connected to " + endpoint});
    EXPECT_EQ(client.read_holding_registers(100, 1), std::vector<uint16_t>{0xABCD});
    EXPECT_EQ(ktest::ops(sim), std::vector<ktest::Op>{ktest::read_op(100, 1)});
}

}  // namespace
