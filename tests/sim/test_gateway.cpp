// SPDX-License-Identifier: MIT
// The simulator as a gateway: meters behind one port told apart by unit id, the bus that serves
// one request at a time, connection limits, the pause a gateway wants, IPv6.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "raw_client.hpp"
#include "simulator.hpp"

using namespace ktest;
using namespace std::chrono_literals;
using W = std::vector<std::uint16_t>;

namespace {

// A meter with its own serial and a data log 1 of `records` records numbered from `first_seq`.
ksim::Meter unit_meter(ksim::Model model, std::uint32_t serial, std::uint16_t first_seq,
                       int records) {
    ksim::Meter meter;
    meter.model = model;
    meter.identity = ksim::Identity{};
    meter.identity->serial = serial;
    ksim::LogFile& log = meter.logs[1];
    for (int i = 0; i < records; ++i)
        log.records.push_back(ksim::datalog_record(0, static_cast<std::uint16_t>(first_seq + i),
                                                   1700000000u + 900u * i, 0, 0, {i}));
    return meter;
}

// The reply of `unit` to `pdu`; a failure when it is an exception.
Frame ask(RawClient& client, std::uint8_t unit, const Bytes& pdu) {
    const Frame reply = client.call(unit, pdu, unit);
    EXPECT_FALSE(reply.is_exception()) << "unit " << int{unit} << " function " << int{pdu[0]};
    return reply;
}

// The record count File Info announces for data log 1 of `unit`.
std::uint16_t announced_records(RawClient& client, std::uint8_t unit) {
    ask(client, unit, pdu_writen(ksim::FILE_INFO_REQUEST, {9, 1, 0, 0, 0, 0, 0, 0}));
    return ask(client, unit, pdu_read(ksim::FILE_INFO_DATA, 14)).regs()[8];
}

TEST(SimGateway, EachUnitIsItsOwnMeter) {
    const struct {
        std::uint8_t unit;
        ksim::Model model;
        std::uint32_t serial;
        std::uint16_t first_seq;
        int records;
    } meters[] = {
        {1, ksim::Model::em133, 101, 100, 3},
        {2, ksim::Model::em133, 102, 200, 5},
        {7, ksim::Model::em235, 107, 700, 4},
    };
    ksim::Simulator sim;
    sim.set_registers(ksim::IDENTITY_REGISTER, W(26, 9));  // the default content is not served
    for (const auto& m : meters)
        sim.add_unit(m.unit, unit_meter(m.model, m.serial, m.first_seq, m.records));
    RawClient client(sim.start());

    // Every unit serves its identity and starts a block of its log; the blocks are read after
    // all were started, so each window keeps its own meter's state.
    for (const auto& m : meters) {
        EXPECT_EQ(ask(client, m.unit, pdu_read(ksim::IDENTITY_REGISTER, 1)).regs()[0], m.serial);
        EXPECT_EQ(announced_records(client, m.unit), m.records);
        ask(client, m.unit, pdu_writen(ksim::TRANSFER_REQUEST, {11, 1, 0, 0, 0, 0}));
    }
    for (const auto& m : meters) {
        EXPECT_EQ(ask(client, m.unit, pdu_read(ksim::BLOCK_HEADER, 8)).regs()[4], m.records);
        EXPECT_EQ(ask(client, m.unit, pdu_read(ksim::BLOCK_DATA, 2)).regs()[1], m.first_seq);
    }
    ask(client, 1, pdu_write1(ksim::TRANSFER_REQUEST, 1));  // acknowledge on unit 1 only
    EXPECT_EQ(sim.unit_log_cursor(1, 1), 3u);
    EXPECT_EQ(sim.unit_log_cursor(2, 1), 0u);
    sim.update_unit_log(2, 1, [](ksim::LogFile& log) { ksim::append_next_records(log, 2); });
    EXPECT_EQ(announced_records(client, 2), 7);
    EXPECT_EQ(announced_records(client, 1), 3);
    EXPECT_THROW(sim.update_unit_log(3, 1, [](ksim::LogFile&) {}), std::invalid_argument);

    // A unit id no meter has: exception 11, as a gateway answers, and journaled.
    EXPECT_EQ(client.call(40, pdu_read(ksim::IDENTITY_REGISTER, 1), 3).pdu, (Bytes{0x83, 11}));
    const std::vector<ksim::Request> journal = sim.journal();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal.back().unit, 3);
    EXPECT_EQ(journal.back().exception, 11);
}

TEST(SimGateway, TheBusServesOneRequestAtATime) {
    constexpr auto LATENCY = 150ms;
    ksim::Simulator sim;
    sim.set_register(0, 42);
    sim.set_latency(LATENCY);
    const std::uint16_t port = sim.start();
    RawClient first(port), second(port);
    first.send_request(1, pdu_read(0, 1));
    second.send_request(2, pdu_read(0, 1));
    const auto a = first.recv_frame(), b = second.recv_frame();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->tid, 1);
    EXPECT_EQ(b->tid, 2);
    EXPECT_EQ(b->regs(), W{42});

    // Each reply spent the latency holding the bus: the second came a full latency after the
    // first, though both requests were there at once.
    std::vector<ksim::Request> journal = sim.journal();
    ASSERT_EQ(journal.size(), 2u);
    std::sort(journal.begin(), journal.end(),
              [](const auto& x, const auto& y) { return x.answered < y.answered; });
    EXPECT_NE(journal[0].answered, std::chrono::steady_clock::time_point{});
    EXPECT_GE(journal[1].answered - journal[0].answered, LATENCY);
    EXPECT_EQ(sim.max_open_connections(), 2u);
}

TEST(SimGateway, ConnectionsBeyondTheLimitAreClosed) {
    ksim::Simulator sim;
    sim.set_register(0, 42);
    sim.set_max_connections(1);
    const std::uint16_t port = sim.start();
    {
        RawClient held(port);
        EXPECT_EQ(held.read(0, 1), W{42});
        RawClient extra(port);
        extra.send_request(1, pdu_read(0, 1));
        EXPECT_TRUE(extra.peer_closed());
        EXPECT_EQ(held.read(0, 1), W{42});
    }
    // Once the first is closed, the next one is served at once.
    RawClient next(port);
    EXPECT_EQ(next.read(0, 1), W{42});
    EXPECT_EQ(sim.connections_accepted(), 3u);
    EXPECT_EQ(sim.max_open_connections(), 1u);
    EXPECT_EQ(sim.journal_size(), 3u);  // nothing was read from the refused connection
}

TEST(SimGateway, ARequestTooSoonAfterTheLastReplyIsBusy) {
    constexpr auto GAP = 200ms;
    ksim::Simulator sim;
    sim.set_register(0, 1);
    sim.set_min_gap(GAP);
    RawClient client(sim.start());
    EXPECT_EQ(client.read(0, 1), W{1});
    EXPECT_EQ(client.write1(0, 5).pdu, (Bytes{0x86, 6}));
    EXPECT_EQ(sim.get_register(0), 1);  // not executed
    std::this_thread::sleep_for(GAP + 50ms);
    EXPECT_EQ(client.write1(0, 7).pdu, pdu_write1(0, 7));
    EXPECT_EQ(sim.get_register(0), 7);
    const std::vector<ksim::Request> journal = sim.journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[1].exception, 6);
    EXPECT_EQ(journal[2].exception, 0);
}

TEST(SimGateway, ListensOnIpv6Loopback) {
    ksim::Simulator sim;
    sim.set_register(0, 6);
    RawClient client(sim.start(0, "::1"), "::1");
    EXPECT_EQ(client.read(0, 1), W{6});
}

}  // namespace
