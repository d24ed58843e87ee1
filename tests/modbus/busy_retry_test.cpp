// SPDX-License-Identifier: MIT
// Weather at a gateway: a busy answer is sent again after a growing pause, a read that found no
// meter at its unit once more; every other exception is final. Requests of several clients to
// one gateway take turns across the machine, the gap kept between any two of them.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "modbus/client.hpp"
#include "support/log_capture.hpp"
#include "support/sim_fixture.hpp"

namespace {

using ksim::Fault;
using namespace std::chrono_literals;

class BusyRetry : public ktest::SimTest {
protected:
    void SetUp() override { serve().set_registers(100, {7, 8}); }

    kolvane::ModbusTcpClient client(int tries = 3, bool turns = false, int gap_ms = 0) {
        kolvane::ConnectionOptions options = connection(300);
        options.tries = tries;
        options.machine_turns = turns;
        options.request_gap_ms = gap_ms;
        return kolvane::ModbusTcpClient(ktest::LOOPBACK, options);
    }
    std::string endpoint() const { return "127.0.0.1:" + std::to_string(port()); }
};

TEST_F(BusyRetry, WhichAnswersAreSentAgainAndHowOften) {
    enum class Call { read, write };
    struct Case {
        const char* what;
        Call call;
        uint8_t code;
        int refusals;  // how many requests in a row the exception answers
        int tries;
        int requests;         // sent in all
        std::string failure;  // empty: the call succeeds; "{gateway}" stands for HOST:PORT
    };
    const Case cases[] = {
        {"busy twice, third try answered", Call::read, 6, 2, 3, 3, ""},
        {"busy on every try", Call::read, 6, 9, 3, 3,
         "gateway {gateway} busy after 3 tries: set gap=50"},
        {"busy with one try allowed", Call::read, 6, 9, 1, 1,
         "gateway {gateway} busy after 1 try: set gap=50"},
        {"acknowledge to a read", Call::read, 5, 1, 3, 2, ""},
        {"no meter once", Call::read, 11, 1, 3, 2, ""},
        {"no meter twice", Call::read, 11, 2, 3, 2, "no meter answered at unit 1 behind {gateway}"},
        {"device failure is final", Call::read, 4, 1, 3, 1, "Modbus exception 4"},
        {"no such register is final", Call::read, 2, 1, 3, 1, "Modbus exception 2"},
        {"busy write: not carried out, sent again", Call::write, 6, 1, 3, 2, ""},
        {"acknowledged write: under way, never sent twice", Call::write, 5, 1, 3, 1,
         "Modbus exception 5"},
        {"no meter behind a write: it may have taken it", Call::write, 11, 1, 3, 1,
         "no meter answered at unit 1 behind {gateway}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim().clear_faults();
        sim().add_fault(Fault::exception(c.code).range(100, 101).times(c.refusals));
        auto meter = client(c.tries);
        meter.connect();
        sim().clear_journal();
        ktest::LogCapture log;
        std::string failure;
        try {
            if (c.call == Call::read) {
                EXPECT_EQ(meter.read_holding_registers(100, 2), (std::vector<uint16_t>{7, 8}));
            } else {
                meter.write_multiple_registers(100, {7, 8});
            }
        } catch (const std::runtime_error& e) {
            failure = e.what();
        }
        std::string expected = c.failure;
        if (const size_t at = expected.find("{gateway}"); at != std::string::npos)
            expected.replace(at, 9, endpoint());
        EXPECT_EQ(failure, expected);
        const std::vector<ksim::Request> requests = sim().journal();
        ASSERT_EQ(int(requests.size()), c.requests);
        EXPECT_EQ(int(log.at_level(KOLVANE_LOG_INFO).size()), c.requests - 1) << "retries logged";
        // Each pause doubles from 50 ms.
        for (size_t i = 1; i < requests.size(); ++i) {
            EXPECT_GE(requests[i].received - requests[i - 1].answered, 50ms * (1 << (i - 1)));
        }
    }
}

TEST_F(BusyRetry, RetriesAreLoggedOnTheCallersThread) {
    sim().add_fault(Fault::exception(6).range(100).times(1));
    ktest::LogCapture log;
    auto meter = client();
    meter.connect();
    meter.read_holding_registers(100, 1);
    EXPECT_EQ(log.at_level(KOLVANE_LOG_INFO),
              std::vector<std::string>{"Retry 1 of 2: " + endpoint() +
                                       " unit 1 answered Modbus exception 6"});
}

// Two clients (as two programs: each its own turn file handle) reading one gateway that answers
// busy to a request within 20 ms of its last reply: with turns and a gap of 25 ms, never busy;
// without, busy soon.
TEST_F(BusyRetry, ClientsTakeTurnsAtAGatewayAcrossTheMachine) {
    sim().set_min_gap(20ms);
    sim().set_latency(3ms);
    for (const bool turns : {true, false}) {
        SCOPED_TRACE(turns ? "turns" : "no turns");
        std::atomic<int> busy{0};
        std::vector<std::thread> programs;
        for (int p = 0; p < 2; ++p) {
            programs.emplace_back([&] {
                auto meter = client(1, turns, 25);
                meter.connect();
                for (int i = 0; i < 25; ++i) {
                    try {
                        meter.read_holding_registers(100, 2);
                    } catch (const std::runtime_error&) {
                        ++busy;
                    }
                }
            });
        }
        for (std::thread& program : programs) program.join();
        if (turns) {
            EXPECT_EQ(busy, 0);
        } else {
            EXPECT_GT(busy, 0) << "the gateway never answered busy: the case proves nothing";
        }
    }
}

// A user who may not open the machine's turn file is told so, before anything is sent.
TEST_F(BusyRetry, AUserWithoutAccessToTheTurnsIsToldSo) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    client(1, true).connect();  // the turn file exists, root's, before the other user tries
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string message = "connected";
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) message = "setuid failed";
        try {
            client(1, true).connect();
        } catch (const std::exception& e) {
            message = e.what();
        }
        [[maybe_unused]] const ssize_t n = ::write(pipe_ends[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipe_ends[1]);
    std::string message;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, n);
    ::close(pipe_ends[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(message.starts_with("Cannot take turns at " + endpoint() +
                                    " with the other kolvane programs of this machine: "))
        << message;
    EXPECT_NE(message.find("Permission denied (it belongs to another user's kolvane"),
              std::string::npos)
        << message;
    EXPECT_EQ(sim().connections_accepted(), 1u) << "the other user's client connected";
}

}  // namespace
