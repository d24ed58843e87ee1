// SPDX-License-Identifier: MIT
// Connecting: name resolution, refused and silent ports, and requests without a connection.
#include <gtest/gtest.h>

#include <string>

#include "modbus/client.hpp"
#include "support/api_call.hpp"
#include "support/journal.hpp"
#include "support/log_capture.hpp"
#include "support/loopback_ports.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using ktest::LogEntry;
using ktest::read_op;

class Connect : public ktest::SimTest {
protected:
    void SetUp() override { serve().set_registers(100, {0xABCD}); }
};

TEST_F(Connect, DottedAddressConnectsAndLogsTheEndpointAtDebugLevel) {
    ktest::LogCapture log;
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    EXPECT_EQ(client.endpoint(), "127.0.0.1:" + std::to_string(port()));
    EXPECT_EQ(log.entries(),
              (std::vector<LogEntry>{{3, "Connected to 127.0.0.1:" + std::to_string(port())}}));
    EXPECT_EQ(client.read_holding_registers(100, 1), std::vector<uint16_t>{0xABCD});
}

TEST_F(Connect, LocalhostIsResolved) {
    ktest::LogCapture log;
    ModbusTcpClient client("localhost", connection());
    client.connect();
    EXPECT_EQ(client.read_holding_registers(100, 1), std::vector<uint16_t>{0xABCD});
    EXPECT_EQ(log.at_level(3),
              std::vector<std::string>{"Connected to localhost:" + std::to_string(port())});
    EXPECT_EQ(ktest::ops(sim()), std::vector<ktest::Op>{read_op(100, 1)});
}

TEST(ConnectFailure, RefusedPortNamesTheEndpoint) {
    const ktest::RefusingPort refusing;
    kolvane::ConnectionOptions options;
    options.port = refusing.port();
    options.timeout_ms = ktest::HANG_GUARD_MS;
    ModbusTcpClient client(ktest::LOOPBACK, options);
    try {
        client.connect();
        ADD_FAILURE() << "connected to a refusing port";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot connect to 127.0.0.1:" + std::to_string(refusing.port()));
    }
}

TEST(ConnectFailure, SilentPortTimesOut) {
    const ktest::SilentPort silent;
    kolvane::ConnectionOptions options;
    options.port = silent.port();
    options.timeout_ms = 300;
    ModbusTcpClient client(ktest::LOOPBACK, options);
    try {
        client.connect();
        ADD_FAILURE() << "connected to a port that never answers";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Timed out connecting to 127.0.0.1:" + std::to_string(silent.port()));
    }
}

// The same failures reach a caller of the C interface as status -1 with the message.
TEST(ConnectFailure, CallerSeesConnectMessages) {
    const ktest::RefusingPort refusing;
    const ktest::SilentPort silent;
    const std::string refused = "{\"port\":" + std::to_string(refusing.port()) + "}";
    const std::string timed = "{\"port\":" + std::to_string(silent.port()) + ",\"timeout_ms\":300}";
    struct Case {
        const char* host;
        std::string options;
        std::string message;
    };
    const Case cases[] = {
        {"127.0.0.1", refused, "Cannot connect to 127.0.0.1:" + std::to_string(refusing.port())},
        {"127.0.0.1", timed, "Timed out connecting to 127.0.0.1:" + std::to_string(silent.port())},
        {"::1", refused, "Cannot connect to [::1]:" + std::to_string(refusing.port())},
    };
    for (const Case& c : cases) {
        const auto result = ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
            return kolvane_read_device_info(c.host, "em133", c.options.c_str(), out, out_len, err,
                                            err_len);
        });
        EXPECT_EQ(result.status, -1) << c.message;
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(Connect, RequestsOnAnUnconnectedClientFail) {
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    const auto expect_unconnected = [](auto&& call) {
        try {
            call();
            ADD_FAILURE() << "a request went out without a connection";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Socket not connected");
        }
    };
    expect_unconnected([&] { client.read_holding_registers(100, 1); });
    expect_unconnected([&] { client.write_single_register(100, 1); });
    expect_unconnected([&] { client.write_multiple_registers(100, {1, 2}); });
    expect_unconnected([&] { client.request({0x03, 0, 100, 0, 1}, 1); });
    expect_unconnected([&] { kolvane::read_words(client, 100, 1); });
    EXPECT_EQ(sim().connections_accepted(), 0u);
}

}  // namespace
