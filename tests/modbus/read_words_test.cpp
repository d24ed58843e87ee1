// SPDX-License-Identifier: MIT
// Register ranges longer than one request: how they are split, and what a failing chunk does.
#include <gtest/gtest.h>

#include "modbus/client.hpp"
#include "support/journal.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using kolvane::read_words;
using ktest::Op;
using ktest::read_op;

constexpr uint16_t BASE = 0x1000;

// Distinct values, so that a chunk out of place or out of order shows.
std::vector<uint16_t> pattern(uint16_t first, size_t count) {
    std::vector<uint16_t> values;
    for (size_t i = 0; i < count; ++i) values.push_back(uint16_t((first + i) * 7 + 3));
    return values;
}

class ReadWords : public ktest::SimTest {
protected:
    void SetUp() override {
        serve().set_registers(BASE, pattern(BASE, 400));
        client_.emplace(ktest::LOOPBACK, connection());
        client_->connect();
    }
    ModbusTcpClient& client() { return *client_; }

private:
    std::optional<ModbusTcpClient> client_;
};

TEST_F(ReadWords, SplitsIntoRequestsOfAtMost120) {
    struct Case {
        uint16_t start;
        uint16_t count;
        std::vector<Op> requests;
    };
    const Case cases[] = {
        {0x1000, 250, {read_op(0x1000, 120), read_op(0x1078, 120), read_op(0x10F0, 10)}},
        {0x1000, 120, {read_op(0x1000, 120)}},
        {0x1005, 121, {read_op(0x1005, 120), read_op(0x107D, 1)}},
        {0x1000, 240, {read_op(0x1000, 120), read_op(0x1078, 120)}},
        {0x1010, 1, {read_op(0x1010, 1)}},
        {0x1000, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " registers from " << c.start);
        sim().clear_journal();
        EXPECT_EQ(read_words(client(), c.start, c.count), pattern(c.start, c.count));
        EXPECT_EQ(ktest::ops(sim()), c.requests);
    }
}

TEST_F(ReadWords, FailingChunkEndsTheReadAtOnce) {
    sim().add_fault(ksim::Fault::exception(2).reads(0x1078));
    try {
        read_words(client(), BASE, 250);
        ADD_FAILURE() << "the read succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Modbus exception 2");
    }
    EXPECT_EQ(ktest::ops(sim()), (std::vector<Op>{read_op(0x1000, 120), read_op(0x1078, 120)}));
}

TEST_F(ReadWords, ShortReplyToAChunkFails) {
    sim().add_fault(ksim::Fault::pdu({0x03, 2, 0, 1}).nth(2));  // one register for 120
    try {
        read_words(client(), BASE, 250);
        ADD_FAILURE() << "the read succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Malformed read response length");
    }
    EXPECT_EQ(sim().journal_size(), 2u);
}

}  // namespace
