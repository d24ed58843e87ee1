// SPDX-License-Identifier: MIT
// The meters over Modbus RTU: on a pseudo-terminal pair made by socat and on RTU over TCP, at a
// slow and a fast line speed.
#include <gtest/gtest.h>

#include "rtu_client.hpp"
#include "simulator.hpp"

using namespace ktest;
using namespace std::chrono_literals;
using ksim::Fault;

namespace {

TEST(RtuFrames, TestCrcGivesKnownVectors) {
    EXPECT_EQ(with_crc({1, 3, 0, 0, 0, 10}), (Bytes{1, 3, 0, 0, 0, 10, 0xC5, 0xCD}));
    EXPECT_EQ(with_crc({0x11, 3, 0, 0x6B, 0, 3}), (Bytes{0x11, 3, 0, 0x6B, 0, 3, 0x76, 0x87}));
    EXPECT_EQ(with_crc({1, 6, 0, 1, 0, 3}), (Bytes{1, 6, 0, 1, 0, 3, 0x98, 0x0B}));
}

struct Line {
    const char* name;
    bool serial;  // a pseudo-terminal, else RTU over TCP
    int baud;
};

void PrintTo(const Line& line, std::ostream* out) { *out << line.name; }

class RtuLines : public ::testing::TestWithParam<Line> {
protected:
    // Serves `sim` on the kind of line under test at its speed; the client's end of it.
    std::unique_ptr<RtuPort> serve(ksim::Simulator& sim, ksim::RtuLine line = {}) {
        line.baud = GetParam().baud;
        if (!GetParam().serial)
            return std::make_unique<TcpRtuPort>(sim.start_rtu_tcp(0, "127.0.0.1", line));
        ptys_.push_back(std::make_unique<PtyPair>());
        sim.start_rtu_serial(ptys_.back()->meter_end(), line);
        return std::make_unique<TtyPort>(ptys_.back()->client_end());
    }

    // Declared before the tests' simulators, so socat goes after they stopped.
    std::vector<std::unique_ptr<PtyPair>> ptys_;
};

INSTANTIATE_TEST_SUITE_P(Lines, RtuLines,
                         ::testing::Values(Line{"pty9600", true, 9600},
                                           Line{"pty115200", true, 115200},
                                           Line{"tcp9600", false, 9600},
                                           Line{"tcp115200", false, 115200}),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<std::uint16_t> words_of(const Bytes& reply) {  // of a read reply frame
    std::vector<std::uint16_t> words;
    for (std::size_t i = 3; i + 3 < reply.size(); i += 2)
        words.push_back(static_cast<std::uint16_t>(reply[i] << 8 | reply[i + 1]));
    return words;
}

TEST_P(RtuLines, ReadsAndWritesTheMeter) {
    const ksim::Meter meter = ksim::default_meter(ksim::Model::em235, 0);
    ksim::Simulator sim(meter);
    auto port = serve(sim);

    const Bytes identity = port->call(rtu_request(1, pdu_read(ksim::IDENTITY_REGISTER, 26)), 57);
    ASSERT_EQ(identity.size(), 57u);
    EXPECT_TRUE(crc_matches(identity));
    EXPECT_EQ(Bytes(identity.begin(), identity.begin() + 3), (Bytes{1, 3, 52}));
    const auto expected = meter.identity->words();
    EXPECT_EQ(words_of(identity), std::vector<std::uint16_t>(expected.begin(), expected.end()));

    struct Exchange {
        std::uint8_t unit;
        Bytes pdu;
        Bytes reply_pdu;
    } exchanges[] = {
        {1, pdu_writen(4352, {5, 6, 7}), {16, 0x11, 0x00, 0, 3}},
        {7, pdu_read(4352, 3), {3, 6, 0, 5, 0, 6, 0, 7}},  // the reply names the unit asked
        {1, pdu_write1(2575, 0x1234), pdu_write1(2575, 0x1234)},
        {1, pdu_read(1, 1), {0x83, 2}},                   // an unknown register
        {1, pdu_read(4352, 126), {0x83, 3}},              // too many
        {1, {16, 0x11, 0, 0, 2, 3, 0, 1, 0}, {0x90, 3}},  // a byte count that does not fit
        {1, {4, 0, 0, 0, 1}, {0x84, 1}},                  // input registers: no such function
        {1, {0x2B, 0x0E, 1, 0}, {0xAB, 1}},               // a function of no known length
    };
    for (const Exchange& e : exchanges) {
        const Bytes want = rtu_request(e.unit, e.reply_pdu);
        EXPECT_EQ(port->call(rtu_request(e.unit, e.pdu), want.size()), want)
            << "function " << int{e.pdu[0]};
    }
    EXPECT_EQ(sim.get_register(2575), 0x1234);
}

// What the client hears after a request that gets no reply: nothing, and the line still works.
TEST_P(RtuLines, SilentWhereAMeterOnALineIsSilent) {
    ksim::Simulator sim;
    sim.add_unit(1, ksim::default_meter(ksim::Model::em133, 0));
    sim.add_unit(2, ksim::default_meter(ksim::Model::em235, 0));
    sim.add_fault(Fault::no_reply().unit(2).reads(ksim::IDENTITY_REGISTER));
    auto port = serve(sim);

    Bytes spoiled = rtu_request(1, pdu_read(ksim::IDENTITY_REGISTER, 2));
    spoiled.back() ^= 0x01;
    struct Silence {
        const char* what;
        Bytes request;
        bool bad_crc;
    } silences[] = {
        {"bad CRC", spoiled, true},
        {"no meter at unit 3", rtu_request(3, pdu_read(ksim::IDENTITY_REGISTER, 2)), false},
        {"muted unit 2", rtu_request(2, pdu_read(ksim::IDENTITY_REGISTER, 2)), false},
        {"broadcast write", rtu_request(0, pdu_write1(2575, 99)), false},
    };
    for (const Silence& s : silences) {
        sim.clear_journal();
        port->send(s.request);
        EXPECT_EQ(port->receive(1, 250), Bytes{}) << s.what;
        ASSERT_TRUE(sim.wait_for_requests(1)) << s.what;
        EXPECT_EQ(sim.journal()[0].bad_crc, s.bad_crc) << s.what;
        const Bytes serial = port->call(rtu_request(1, pdu_read(ksim::IDENTITY_REGISTER, 2)), 9);
        EXPECT_TRUE(crc_matches(serial)) << s.what;
        EXPECT_EQ(words_of(serial), (std::vector<std::uint16_t>{0x5678, 0x12})) << s.what;
    }
    // Every meter on the line took the broadcast.
    EXPECT_EQ(sim.unit_register(1, 2575), 99);
    EXPECT_EQ(sim.unit_register(2, 2575), 99);
}

TEST_P(RtuLines, LineFaults) {
    ksim::Simulator sim;
    sim.set_registers(100, {1, 2});
    sim.add_fault(Fault::bad_crc().reads(100).nth(1));
    sim.add_fault(Fault::delay(600ms).reads(101).nth(1));
    ksim::RtuLine echoing;
    echoing.echo = true;
    auto port = serve(sim, echoing);

    const Bytes request = rtu_request(1, pdu_read(100, 1));
    const Bytes good = rtu_request(1, {3, 2, 0, 1});
    // The adapter's echo, then a reply whose CRC is spoiled, then the next one whole.
    EXPECT_EQ(port->call(request, request.size()), request);
    const Bytes spoiled = port->receive(good.size());
    ASSERT_EQ(spoiled.size(), good.size());
    EXPECT_FALSE(crc_matches(spoiled));
    EXPECT_EQ(Bytes(spoiled.begin(), spoiled.end() - 2), Bytes(good.begin(), good.end() - 2));
    Bytes echo_and_reply = request;
    echo_and_reply.insert(echo_and_reply.end(), good.begin(), good.end());
    EXPECT_EQ(port->call(request, echo_and_reply.size()), echo_and_reply);

    // A reply later than a client's time-out.
    const Bytes late_request = rtu_request(1, pdu_read(101, 1));
    EXPECT_EQ(port->call(late_request, late_request.size()), late_request);
    EXPECT_EQ(port->receive(1, 400), Bytes{});
    EXPECT_EQ(port->receive(7, 3000), rtu_request(1, {3, 2, 0, 2}));
}

// A 125-register reply is 255 bytes; each takes at least 10 bits' time (11 with even parity).
TEST_P(RtuLines, RepliesComeAtTheLinesPace) {
    ksim::Simulator sim;
    sim.set_registers(1000, std::vector<std::uint16_t>(125, 0xA5A5));
    auto port = serve(sim);
    const auto begin = std::chrono::steady_clock::now();
    const Bytes reply = port->call(rtu_request(1, pdu_read(1000, 125)), 255);
    const auto took = std::chrono::steady_clock::now() - begin;
    ASSERT_EQ(reply.size(), 255u);
    EXPECT_TRUE(crc_matches(reply));
    EXPECT_GE(took, std::chrono::microseconds(255 * 10 * 1'000'000LL / GetParam().baud));
}

}  // namespace
