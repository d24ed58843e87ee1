// SPDX-License-Identifier: MIT
// The simulator's server side: framing, exceptions, journal, units, connections, stop().
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "raw_client.hpp"
#include "simulator.hpp"

using namespace ktest;
using namespace std::chrono_literals;

namespace {

TEST(SimServer, ReadEchoesTransactionAndUnit) {
    ksim::Simulator sim;
    sim.set_registers(1000, {1, 2, 0xFFFF});
    RawClient c(sim.start());
    Frame f = c.call(0xBEEF, pdu_read(1000, 3), 7);
    EXPECT_EQ(f.tid, 0xBEEF);
    EXPECT_EQ(f.proto, 0);
    EXPECT_EQ(f.unit, 7);
    EXPECT_EQ(f.length, 9);
    EXPECT_EQ(f.pdu, (Bytes{3, 6, 0, 1, 0, 2, 0xFF, 0xFF}));
}

TEST(SimServer, UnknownRegistersGiveException2) {
    ksim::Simulator sim;
    sim.set_registers(10, {1, 2});
    RawClient c(sim.start());
    Frame f = c.call(1, pdu_read(10, 3));  // register 12 unknown
    EXPECT_EQ(f.pdu, (Bytes{0x83, 2}));
    f = c.call(2, pdu_read(65535, 2));  // past the end
    EXPECT_EQ(f.pdu, (Bytes{0x83, 2}));
    sim.erase_registers(11);
    EXPECT_EQ(c.call(3, pdu_read(10, 2)).pdu, (Bytes{0x83, 2}));
    EXPECT_EQ(c.call(4, pdu_read(10, 1)).regs(), (std::vector<std::uint16_t>{1}));
}

TEST(SimServer, BadQuantitiesGiveException3) {
    ksim::Simulator sim;
    sim.set_registers(0, std::vector<std::uint16_t>(200, 5));
    RawClient c(sim.start());
    EXPECT_EQ(c.call(1, pdu_read(0, 0)).pdu, (Bytes{0x83, 3}));
    EXPECT_EQ(c.call(2, pdu_read(0, 126)).pdu, (Bytes{0x83, 3}));
    EXPECT_EQ(c.call(3, pdu_read(0, 125)).regs().size(), 125u);
    EXPECT_EQ(c.call(4, pdu_writen(0, std::vector<std::uint16_t>(124, 1))).pdu, (Bytes{0x90, 3}));
    Bytes bad = pdu_writen(0, {1, 2});
    bad[5] = 3;  // byte count inconsistent
    EXPECT_EQ(c.call(5, bad).pdu, (Bytes{0x90, 3}));
    EXPECT_EQ(c.call(6, Bytes{6, 0, 1}).pdu, (Bytes{0x86, 3}));  // short write single
}

TEST(SimServer, OtherFunctionCodesGiveException1) {
    ksim::Simulator sim;
    sim.set_register(0, 1);
    RawClient c(sim.start());
    EXPECT_EQ(c.call(1, Bytes{4, 0, 0, 0, 1}).pdu, (Bytes{0x84, 1}));
    EXPECT_EQ(c.call(2, Bytes{0x2B, 0x0E, 1, 0}).pdu, (Bytes{0xAB, 1}));
}

TEST(SimServer, WritesAreStoredEchoedAndJournaled) {
    ksim::Simulator sim;
    RawClient c(sim.start());
    EXPECT_EQ(c.call(11, pdu_write1(2575, 1234), 3).pdu, pdu_write1(2575, 1234));
    EXPECT_EQ(c.call(12, pdu_writen(4352, {1, 2, 3, 4, 5, 6, 7})).pdu,
              (Bytes{16, 0x11, 0x00, 0, 7}));
    EXPECT_EQ(sim.get_register(2575), 1234);
    EXPECT_EQ(sim.get_register(4358), 7);
    EXPECT_EQ(c.call(13, pdu_read(4352, 7)).regs(),
              (std::vector<std::uint16_t>{1, 2, 3, 4, 5, 6, 7}));

    ASSERT_TRUE(sim.wait_for_requests(3));
    auto j = sim.journal();
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0].transaction_id, 11);
    EXPECT_EQ(j[0].unit, 3);
    EXPECT_EQ(j[0].function, 6);
    EXPECT_EQ(j[0].address, 2575);
    EXPECT_EQ(j[0].quantity, 1);
    EXPECT_EQ(j[0].values, (std::vector<std::uint16_t>{1234}));
    EXPECT_EQ(j[1].function, 16);
    EXPECT_EQ(j[1].address, 4352);
    EXPECT_EQ(j[1].quantity, 7);
    EXPECT_EQ(j[1].values.size(), 7u);
    EXPECT_EQ(j[2].function, 3);
    EXPECT_EQ(j[2].quantity, 7);
    EXPECT_TRUE(j[2].values.empty());
    EXPECT_EQ(j[2].connection, 1u);
    sim.clear_journal();
    EXPECT_EQ(sim.journal_size(), 0u);
}

TEST(SimServer, WaitForRequestsWithoutSleeping) {
    ksim::Simulator sim;
    sim.set_register(1, 1);
    std::uint16_t port = sim.start();
    EXPECT_FALSE(sim.wait_for_requests(1, 50ms));
    std::thread t([port] {
        RawClient c(port);
        for (int i = 0; i < 5; ++i) c.read(1, 1);
    });
    EXPECT_TRUE(sim.wait_for_requests(5));
    t.join();
    EXPECT_TRUE(sim.wait_until_idle());
}

TEST(SimServer, AnswerOnlyOneUnit) {
    ksim::Simulator sim;
    sim.set_register(1, 9);
    RawClient c(sim.start());
    sim.answer_only_unit(1);
    c.send_request(5, pdu_read(1, 1), 2);
    EXPECT_FALSE(c.recv_frame(200).has_value());
    EXPECT_EQ(c.call(6, pdu_read(1, 1), 1).regs(), (std::vector<std::uint16_t>{9}));
    sim.answer_only_unit(1, true);
    EXPECT_EQ(c.call(7, pdu_read(1, 1), 2).pdu, (Bytes{0x83, 11}));
    sim.answer_only_unit(std::nullopt);
    EXPECT_EQ(c.call(8, pdu_read(1, 1), 2).regs(), (std::vector<std::uint16_t>{9}));
    EXPECT_EQ(sim.journal_size(), 4u);
}

TEST(SimServer, SequentialAndConcurrentConnections) {
    ksim::Simulator sim;
    sim.set_registers(0, {10, 11, 12, 13});
    std::uint16_t port = sim.start();
    for (int i = 0; i < 3; ++i) {
        RawClient c(port);
        EXPECT_EQ(c.read(static_cast<std::uint16_t>(i), 1)[0], 10 + i);
    }
    std::atomic<int> ok{0};
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([&, t] {
            RawClient c(port);
            for (int i = 0; i < 50; ++i) {
                Frame f = c.call(static_cast<std::uint16_t>(t * 1000 + i),
                                 pdu_read(static_cast<std::uint16_t>(t), 1));
                if (f.tid == t * 1000 + i &&
                    f.regs() == std::vector<std::uint16_t>{static_cast<std::uint16_t>(10 + t)})
                    ++ok;
            }
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(ok.load(), 200);
    EXPECT_EQ(sim.connections_accepted(), 7u);
    EXPECT_TRUE(sim.wait_until_idle());
}

TEST(SimServer, StopWhileClientsConnectedAndReplyDelayed) {
    ksim::Simulator sim;
    sim.set_register(0, 1);
    std::uint16_t port = sim.start();
    RawClient idle(port);
    RawClient waiting(port);
    sim.add_fault(ksim::Fault::delay(30s));
    waiting.send_request(1, pdu_read(0, 1));
    ASSERT_TRUE(sim.wait_for_requests(1));
    ASSERT_TRUE(sim.wait_for_connections(2));
    auto t0 = std::chrono::steady_clock::now();
    sim.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);  // hang detection only
    EXPECT_FALSE(sim.running());
    EXPECT_TRUE(idle.peer_closed());
    EXPECT_TRUE(waiting.peer_closed());
    EXPECT_THROW(RawClient again(port), std::runtime_error);
    // restartable
    sim.clear_faults();
    RawClient c(sim.start());
    EXPECT_EQ(c.read(0, 1)[0], 1);
}

TEST(SimServer, MalformedMbapLengthClosesConnection) {
    ksim::Simulator sim;
    RawClient c(sim.start());
    c.send_bytes(Bytes{0, 1, 0, 0, 0, 1, 1});  // length 1: no PDU
    EXPECT_TRUE(c.peer_closed());
}

}  // namespace
