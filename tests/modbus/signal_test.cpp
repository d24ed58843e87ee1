// SPDX-License-Identifier: MIT
// A host process with a periodic timer (a profiler, a watchdog, a language runtime's ticker)
// interrupts the client's waits again and again: each wait must still end at its time limit.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "modbus/client.hpp"
#include "support/failure.hpp"
#include "support/loopback_ports.hpp"
#include "support/sim_fixture.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int TIMEOUT_MS = 300;
constexpr auto MARGIN = 1500ms;  // generous: the machine is shared, the suite runs under sanitizers

// SIGALRM every 20 ms for the life of the object, handled without SA_RESTART so that it
// interrupts blocking calls with EINTR. Only the test's thread takes it: the signal is blocked
// while the simulator starts, so its threads inherit the block.
class PeriodicTimer {
public:
    PeriodicTimer() {
        struct sigaction action {};
        action.sa_handler = [](int) { ticks.fetch_add(1); };
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGALRM, &action, &previous_);
        const itimerval every{{0, 20000}, {0, 20000}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~PeriodicTimer() {
        const itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &previous_, nullptr);
    }
    static inline std::atomic<int> ticks = 0;  // lock-free, so safe in a signal handler

private:
    struct sigaction previous_ {};
};

void block_alarm(bool block) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGALRM);
    ::pthread_sigmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

class SignalTest : public ktest::SimTest {
protected:
    void SetUp() override {
        block_alarm(true);
        serve();
        sim().set_registers(100, std::vector<uint16_t>(10, 7));
        block_alarm(false);
    }

    // The outcome of `work` under the periodic timer ("(no failure)" when it succeeds), and
    // that it took about `expected`.
    std::string outcome_in(std::chrono::milliseconds expected, const std::function<void()>& work) {
        PeriodicTimer timer;
        const int ticks_before = PeriodicTimer::ticks;
        const auto start = Clock::now();
        const std::string message = ktest::failure_of(work);
        const auto spent = Clock::now() - start;
        EXPECT_GT(PeriodicTimer::ticks - ticks_before, 3) << "the timer never interrupted the wait";
        EXPECT_GE(spent, expected - 20ms);
        EXPECT_LE(spent, expected + MARGIN);
        return message;
    }
    std::string fails_in_time(const std::function<void()>& work) {
        return outcome_in(std::chrono::milliseconds(TIMEOUT_MS), work);
    }
};

TEST_F(SignalTest, SilentPeerTimesOut) {
    sim().add_fault(ksim::Fault::no_reply());
    kolvane::ModbusTcpClient client(ktest::LOOPBACK, connection(TIMEOUT_MS));
    client.connect();
    EXPECT_EQ(fails_in_time([&] { client.read_holding_registers(100, 10); }), no_reply(TIMEOUT_MS));
}

// The reply's first byte, then nothing for longer than the time limit.
TEST_F(SignalTest, StallingReplyTimesOut) {
    sim().add_fault(ksim::Fault::trickle(5s));
    kolvane::ModbusTcpClient client(ktest::LOOPBACK, connection(TIMEOUT_MS));
    client.connect();
    EXPECT_EQ(fails_in_time([&] { client.read_holding_registers(100, 10); }), no_reply(TIMEOUT_MS));
}

// 29 bytes at one every 100 ms: each arrives within the time limit, so the reply is taken,
// signals or not, and the call's deadline still bounds the whole.
TEST_F(SignalTest, TricklingReplyIsBoundedByTheDeadline) {
    sim().add_fault(ksim::Fault::trickle(100ms));
    kolvane::ModbusTcpClient patient(ktest::LOOPBACK, connection(TIMEOUT_MS));
    patient.connect();
    EXPECT_EQ(outcome_in(2800ms, [&] { EXPECT_EQ(patient.read_holding_registers(100, 10)[9], 7); }),
              "(no failure)");

    kolvane::ConnectionOptions bounded = connection(TIMEOUT_MS);
    bounded.deadline_ms = 1000;
    kolvane::ModbusTcpClient client(ktest::LOOPBACK, bounded);
    client.connect();
    EXPECT_EQ(outcome_in(1000ms, [&] { client.read_holding_registers(100, 10); }),
              "Deadline of 1000 ms exceeded");
}

TEST_F(SignalTest, ConnectTimesOut) {
    const ktest::SilentPort backlog;
    kolvane::ConnectionOptions options;
    options.port = backlog.port();
    options.timeout_ms = TIMEOUT_MS;
    kolvane::ModbusTcpClient client(ktest::LOOPBACK, options);
    EXPECT_EQ(fails_in_time([&] { client.connect(); }),
              "Timed out connecting to 127.0.0.1:" + std::to_string(backlog.port()));
}

}  // namespace
