// SPDX-License-Identifier: MIT
// How replies are cut from the bytes received: several frames in one segment, a frame byte by
// byte, more queued frames than the buffer holds, a frame cut by a time-out, and a reconnect.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "modbus/client.hpp"
#include "modbus/receive_buffer.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using ksim::Fault;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;
using namespace std::chrono_literals;

// A whole read reply frame for unit 1.
Bytes read_reply(uint16_t transaction_id, const Words& values) {
    const size_t length = 3 + 2 * values.size();
    Bytes frame{uint8_t(transaction_id >> 8), uint8_t(transaction_id), 0, 0,
                uint8_t(length >> 8),         uint8_t(length),         1, 0x03,
                uint8_t(2 * values.size())};
    for (const uint16_t v : values) {
        frame.push_back(uint8_t(v >> 8));
        frame.push_back(uint8_t(v));
    }
    return frame;
}

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class ReceiveFrames : public ktest::SimTest {
protected:
    void SetUp() override {
        serve().set_registers(100, {5});
        sim().set_registers(110, {6});
        sim().set_registers(120, {7});
    }
};

// The meter's answers to this request and the next come in one send: the second is kept and
// answers the next request, and the exchange after that is still in step.
TEST_F(ReceiveFrames, SecondReplyOfOneSegmentAnswersTheNextRequest) {
    sim().add_fault(
        Fault::raw(joined(read_reply(1, {0x1111}), read_reply(2, {0x2222}))).reads(100));
    sim().add_fault(Fault::no_reply().reads(110));
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    EXPECT_EQ(client.read_holding_registers(100, 1), Words{0x1111});
    EXPECT_EQ(client.read_holding_registers(110, 1), Words{0x2222});
    EXPECT_EQ(client.read_holding_registers(120, 1), Words{7});
    EXPECT_EQ(sim().journal_size(), 3u) << "every request is sent, answered from the buffer or not";
}

TEST_F(ReceiveFrames, RepliesArrivingByteByByte) {
    sim().add_fault(Fault::trickle(1ms));
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    EXPECT_EQ(client.read_holding_registers(100, 1), Words{5});
    client.write_single_register(130, 9);
    client.write_multiple_registers(131, {10, 11});
    EXPECT_EQ(client.read_holding_registers(130, 2), (Words{9, 10}));
}

// Twenty replies of 120 registers (4940 bytes, more than the buffer holds at once) sent
// together: each request gets its own frame, whole, in order.
TEST_F(ReceiveFrames, MoreQueuedRepliesThanTheBufferHolds) {
    Bytes frames;
    for (uint16_t id = 1; id <= 20; ++id) {
        Words values(120);
        for (size_t i = 0; i < values.size(); ++i) values[i] = uint16_t(id * 1000 + i);
        frames = joined(frames, read_reply(id, values));
    }
    ASSERT_GT(frames.size(), kolvane::ReceiveBuffer::CAPACITY);
    sim().add_fault(Fault::raw(frames).reads(100));
    sim().add_fault(Fault::no_reply().reads(1000));
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    for (uint16_t id = 1; id <= 20; ++id) {
        SCOPED_TRACE(id);
        const Words values = client.read_holding_registers(id == 1 ? 100 : 1000, 120);
        ASSERT_EQ(values.size(), 120u);
        EXPECT_EQ(values[0], id * 1000);
        EXPECT_EQ(values[119], id * 1000 + 119);
    }
    EXPECT_EQ(client.read_holding_registers(120, 1), Words{7});
}

// A reply whose first bytes came before its request timed out: the rest, arriving with the next
// request's reply, completes it, it is dropped as stale, and the next reply is read in step.
TEST_F(ReceiveFrames, FrameCutByATimeOutIsCompletedAndDropped) {
    const Bytes late = read_reply(1, {0x1111});
    const Bytes head(late.begin(), late.begin() + 5);
    const Bytes tail(late.begin() + 5, late.end());
    sim().add_fault(Fault::raw(head).reads(100));
    sim().add_fault(Fault::raw(joined(tail, read_reply(2, {0x2222}))).reads(110));
    ModbusTcpClient client(ktest::LOOPBACK, connection(300));
    client.connect();
    try {
        client.read_holding_registers(100, 1);
        ADD_FAILURE() << "a reply of five bytes was taken";
    } catch (const kolvane::TransportError& e) {
        EXPECT_EQ(std::string(e.what()), no_reply(300));
    }
    EXPECT_EQ(client.read_holding_registers(110, 1), Words{0x2222});
    EXPECT_EQ(client.read_holding_registers(120, 1), Words{7});
}

// Bytes left from one connection never answer a request on the next.
TEST_F(ReceiveFrames, ReconnectForgetsBufferedBytes) {
    sim().add_fault(
        Fault::raw(joined(read_reply(1, {0x1111}), read_reply(2, {0x2222}))).reads(100));
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    EXPECT_EQ(client.read_holding_registers(100, 1), Words{0x1111});
    client.connect();
    EXPECT_EQ(client.read_holding_registers(110, 1), Words{6});
}

}  // namespace
