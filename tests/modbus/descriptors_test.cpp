// SPDX-License-Identifier: MIT
// The client's use of descriptors: nothing is left open after a failure, descriptors above
// 1024 work, and a connection the meter dropped does not raise SIGPIPE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "kolvane.h"
#include "modbus/client.hpp"
#include "rtu_line.hpp"
#include "support/api_call.hpp"
#include "support/descriptors.hpp"
#include "support/failure.hpp"
#include "support/loopback_ports.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using ksim::Fault;

kolvane::ConnectionOptions port_options(uint16_t port, int timeout_ms) {
    kolvane::ConnectionOptions options;
    options.port = port;
    options.timeout_ms = timeout_ms;
    return options;
}

// A failed connect closes its socket before the error reaches the caller.
TEST(Descriptors, FailedConnectLeavesNothingOpen) {
    const ktest::RefusingPort refusing;
    const ktest::SilentPort silent;
    struct Case {
        const char* host;
        kolvane::ConnectionOptions options;
        std::string message;
    };
    const Case cases[] = {
        {"::1", port_options(refusing.port(), 300),
         "Cannot connect to [::1]:" + std::to_string(refusing.port())},
        {"127.0.0.1", port_options(refusing.port(), 300),
         "Cannot connect to 127.0.0.1:" + std::to_string(refusing.port())},
        {"127.0.0.1", port_options(silent.port(), 300),
         "Timed out connecting to 127.0.0.1:" + std::to_string(silent.port())},
    };
    for (const Case& c : cases) {
        const int before = ktest::open_descriptors();
        ModbusTcpClient client(c.host, c.options);
        EXPECT_EQ(ktest::failure_of([&] { client.connect(); }), c.message);
        EXPECT_EQ(ktest::open_descriptors(), before) << c.message;
    }
}

class DescriptorsWithMeter : public ktest::SimTest {
protected:
    void SetUp() override { serve().set_registers(10, {1, 2, 3}); }
};

// A failed request keeps the connection until the client is destroyed, which closes it.
TEST_F(DescriptorsWithMeter, FailedRequestLeavesNothingOpenOnceTheClientIsGone) {
    const Fault faults[] = {Fault::exception(2), Fault::close(), Fault::pdu({0x83, 0x02}, 261),
                            Fault::no_reply(), Fault::close_after_bytes(9)};
    for (const Fault& fault : faults) {
        sim().clear_faults();
        sim().add_fault(fault);
        const int before = ktest::open_descriptors();
        {
            ModbusTcpClient client(ktest::LOOPBACK, connection(300));
            client.connect();
            EXPECT_NE(ktest::failure_of([&] { kolvane::read_words(client, 10, 3); }),
                      "(no failure)");
        }
        ASSERT_TRUE(sim().wait_until_idle());
        EXPECT_EQ(ktest::open_descriptors(), before) << "fault kind " << int(fault.kind);
    }
}

// The same on a serial line: the port is given up with the client.
TEST(DescriptorsOnRtu, FailedRequestLeavesNothingOpenOnceTheClientIsGone) {
    ktest::RtuMeter meter(ksim::default_meter(ksim::Model::em133, 0),
                          ktest::Line{"pty115200", true, 115200});
    meter.sim().set_registers(10, {1, 2, 3});
    const Fault faults[] = {Fault::exception(2), Fault::bad_crc(), Fault::no_reply()};
    for (const Fault& fault : faults) {
        meter.sim().clear_faults();
        meter.sim().add_fault(fault);
        const int before = ktest::open_descriptors();
        {
            ModbusTcpClient client(meter.host(), meter.connection(300));
            client.connect();
            EXPECT_NE(ktest::failure_of([&] { kolvane::read_words(client, 10, 3); }),
                      "(no failure)");
        }
        EXPECT_EQ(ktest::open_descriptors(), before) << "fault kind " << int(fault.kind);
        // Given up: another client may open the port again.
        ModbusTcpClient next(meter.host(), meter.connection(300));
        EXPECT_EQ(ktest::failure_of([&] { next.connect(); }), "(no failure)");
    }
}

TEST_F(DescriptorsWithMeter, FailedOperationLeavesNothingOpen) {
    sim().add_fault(Fault::exception(2));
    const int before = ktest::open_descriptors();
    const auto result = ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
        return kolvane_read_device_info("127.0.0.1", "em235", options().c_str(), out, out_len, err,
                                        err_len);
    });
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Modbus exception 2");
    ASSERT_TRUE(sim().wait_until_idle());
    EXPECT_EQ(ktest::open_descriptors(), before);
}

// Holds descriptors so that every new one is numbered above 1024, where select cannot wait.
class DescriptorBallast {
public:
    explicit DescriptorBallast(int count) {
        for (int i = 0; i < count; ++i) {
            const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) break;
            fds_.push_back(fd);
        }
    }
    ~DescriptorBallast() {
        for (const int fd : fds_) ::close(fd);
    }
    size_t size() const { return fds_.size(); }

private:
    std::vector<int> fds_;
};

TEST_F(DescriptorsWithMeter, WorksWithDescriptorsAbove1024) {
    constexpr int BALLAST = 1100;
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    if (limit.rlim_cur < BALLAST + 100) {
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < BALLAST + 100) {
            GTEST_SKIP() << "the descriptor limit cannot be raised above " << limit.rlim_max;
        }
        limit.rlim_cur = BALLAST + 100;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    {
        const DescriptorBallast ballast(BALLAST);
        ASSERT_EQ(ballast.size(), size_t(BALLAST));
        ModbusTcpClient client(ktest::LOOPBACK, connection());
        client.connect();
        EXPECT_EQ(kolvane::read_words(client, 10, 3), (std::vector<uint16_t>{1, 2, 3}));
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

// The meter closes the connection on the first request; the client goes on sending on the
// dead socket. With the default SIGPIPE disposition the process must survive and each call
// fail with a socket message. Runs in a child process so that a SIGPIPE shows as a failure.
TEST(BrokenPipe, SendOnAClosedConnectionFailsWithoutSignal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            ksim::Simulator sim;
            sim.add_fault(Fault::close());
            kolvane::ConnectionOptions options;
            options.port = sim.start();
            options.timeout_ms = ktest::HANG_GUARD_MS;
            ModbusTcpClient client(ktest::LOOPBACK, options);
            client.connect();
            bool send_failed = false;
            for (int i = 0; i < 50 && !send_failed; ++i) {
                const std::string message =
                    ktest::failure_of([&] { client.read_holding_registers(10, 1); });
                if (message != "socket send failed" && message != "socket recv failed") {
                    std::cerr << "unexpected: " << message << std::endl;
                    std::_Exit(1);
                }
                send_failed = message == "socket send failed";
            }
            std::cerr << (send_failed ? "a send on the dead socket failed" : "no send failed")
                      << std::endl;
            sim.stop();
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "a send on the dead socket failed");
}

}  // namespace
