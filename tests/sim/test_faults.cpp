// SPDX-License-Identifier: MIT
// Fault injection rules.
#include <gtest/gtest.h>

#include "raw_client.hpp"
#include "simulator.hpp"

using namespace ktest;
using namespace std::chrono_literals;
using ksim::Fault;

namespace {

struct SimFaults : ::testing::Test {
    ksim::Simulator sim;
    std::uint16_t port = 0;
    void SetUp() override {
        sim.set_registers(100, {1, 2, 3, 4, 5, 6, 7, 8});
        port = sim.start();
    }
};

TEST_F(SimFaults, RefuseReadsOfARangeWithAnyCode) {
    sim.add_fault(Fault::exception(4).reads(102, 103));
    sim.add_fault(Fault::exception(0xFF).reads(107));
    RawClient c(port);
    EXPECT_EQ(c.call(1, pdu_read(100, 2)).regs(), (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(c.call(2, pdu_read(100, 3)).pdu, (Bytes{0x83, 4}));  // touches 102
    EXPECT_EQ(c.call(3, pdu_read(103, 1)).pdu, (Bytes{0x83, 4}));
    EXPECT_EQ(c.call(4, pdu_read(107, 1)).pdu, (Bytes{0x83, 0xFF}));
    EXPECT_EQ(c.call(5, pdu_write1(102, 9)).pdu, pdu_write1(102, 9));  // writes pass
    EXPECT_EQ(sim.fault_hits(0), 2);
}

TEST_F(SimFaults, RefusedWriteIsNotStored) {
    sim.add_fault(Fault::exception(2).writes(4352, 4358));
    RawClient c(port);
    EXPECT_EQ(c.call(1, pdu_writen(4352, {1, 2, 3, 4, 5, 6, 7})).pdu, (Bytes{0x90, 2}));
    EXPECT_FALSE(sim.get_register(4352).has_value());
    EXPECT_EQ(c.call(2, pdu_write1(2575, 5)).pdu, pdu_write1(2575, 5));
    EXPECT_EQ(sim.journal().size(), 2u);
}

TEST_F(SimFaults, NthAndTimes) {
    sim.add_fault(Fault::exception(6).reads(100).nth(2));
    sim.add_fault(Fault::exception(5).reads(101).times(2));
    RawClient c(port);
    EXPECT_FALSE(c.call(1, pdu_read(100, 1)).is_exception());
    EXPECT_EQ(c.call(2, pdu_read(100, 1)).pdu, (Bytes{0x83, 6}));
    EXPECT_FALSE(c.call(3, pdu_read(100, 1)).is_exception());
    EXPECT_EQ(c.call(4, pdu_read(101, 1)).pdu, (Bytes{0x83, 5}));
    EXPECT_EQ(c.call(5, pdu_read(101, 1)).pdu, (Bytes{0x83, 5}));
    EXPECT_FALSE(c.call(6, pdu_read(101, 1)).is_exception());
    sim.add_fault(Fault::exception(4));
    EXPECT_TRUE(c.call(7, pdu_read(101, 1)).is_exception());
    sim.clear_faults();
    EXPECT_FALSE(c.call(8, pdu_read(101, 1)).is_exception());
}

TEST_F(SimFaults, DelayedReply) {
    sim.add_fault(Fault::delay(300ms).nth(1));
    RawClient c(port);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(c.call(1, pdu_read(100, 1)).regs()[0], 1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 290ms);
}

TEST_F(SimFaults, NoReplyKeepsConnectionOpen) {
    sim.add_fault(Fault::no_reply().times(1));
    RawClient c(port);
    c.send_request(1, pdu_read(100, 1));
    EXPECT_FALSE(c.recv_frame(200).has_value());
    EXPECT_FALSE(c.peer_closed(10));
    EXPECT_EQ(c.call(2, pdu_read(100, 1)).tid, 2);
}

TEST_F(SimFaults, CloseBeforeSendingAnything) {
    sim.add_fault(Fault::close().writes(100));
    RawClient c(port);
    c.send_request(1, pdu_write1(100, 77));
    EXPECT_TRUE(c.recv_bytes(1, 1000).empty());
    EXPECT_TRUE(c.peer_closed());
    EXPECT_EQ(sim.get_register(100), 1);  // not executed
}

TEST_F(SimFaults, CloseInsideTheReply) {
    for (std::size_t n : {3u, 7u, 9u}) {
        sim.clear_faults();
        sim.add_fault(Fault::close_after_bytes(n));
        RawClient c(port);
        c.send_request(0x1234, pdu_read(100, 2));
        Bytes got = c.recv_bytes(100, 1000);
        EXPECT_EQ(got.size(), n);
        EXPECT_EQ(got[0], 0x12);
        EXPECT_TRUE(c.peer_closed());
    }
}

TEST_F(SimFaults, CloseAfterNGoodReplies) {
    sim.add_fault(Fault::close_after_replies(2));
    RawClient c(port);
    EXPECT_EQ(c.call(1, pdu_read(100, 1)).regs()[0], 1);
    EXPECT_EQ(c.call(2, pdu_read(100, 1)).regs()[0], 1);
    EXPECT_TRUE(c.peer_closed());
}

TEST_F(SimFaults, RawBytesInsteadOfReply) {
    sim.add_fault(Fault::raw({0, 9, 0, 0, 0, 3, 1, 0x83}));
    RawClient c(port);
    c.send_request(1, pdu_read(100, 1));
    EXPECT_EQ(c.recv_bytes(8), (Bytes{0, 9, 0, 0, 0, 3, 1, 0x83}));
}

TEST_F(SimFaults, PduWithLengthOverrideUsesRequestTid) {
    sim.add_fault(Fault::pdu({0x83}).nth(1));
    sim.add_fault(Fault::pdu({3, 4, 0, 1}, 261).nth(1));
    sim.add_fault(Fault::pdu({}, 0).nth(1));
    RawClient c(port);
    c.send_request(0x0102, pdu_read(100, 1), 9);
    EXPECT_EQ(c.recv_bytes(8), (Bytes{1, 2, 0, 0, 0, 2, 9, 0x83}));
    c.send_request(0x0304, pdu_read(100, 1));
    EXPECT_EQ(c.recv_bytes(11), (Bytes{3, 4, 0, 0, 0x01, 0x05, 1, 3, 4, 0, 1}));
    c.send_request(0x0506, pdu_read(100, 1));
    EXPECT_EQ(c.recv_bytes(7), (Bytes{5, 6, 0, 0, 0, 0, 1}));
}

TEST_F(SimFaults, LateReplyCarriesOlderTransactionFirst) {
    sim.add_fault(Fault::late_reply());
    RawClient c(port);
    c.send_request(50, pdu_read(100, 2));
    auto stale = c.recv_frame();
    auto good = c.recv_frame();
    ASSERT_TRUE(stale && good);
    EXPECT_EQ(stale->tid, 49);
    EXPECT_EQ(stale->regs(), (std::vector<std::uint16_t>{0xFFFE, 0xFFFD}));
    EXPECT_EQ(good->tid, 50);
    EXPECT_EQ(good->regs(), (std::vector<std::uint16_t>{1, 2}));
    sim.clear_faults();
    sim.add_fault(Fault::late_reply(-3, 0xAAAA));
    c.send_request(60, pdu_read(100, 1));
    const auto older = c.recv_frame();
    ASSERT_TRUE(older.has_value());
    EXPECT_EQ(older->tid, 57);
    EXPECT_EQ(older->regs(), (std::vector<std::uint16_t>{0xAAAA}));
}

TEST_F(SimFaults, TrickledReply) {
    sim.add_fault(Fault::trickle(20ms));
    RawClient c(port);
    auto t0 = std::chrono::steady_clock::now();
    Frame f = c.call(1, pdu_read(100, 1));  // 11 bytes
    EXPECT_EQ(f.regs()[0], 1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 190ms);
}

}  // namespace
