// SPDX-License-Identifier: MIT
// Transaction identifiers and unit identifiers on the wire, and replies that arrive late.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "modbus/client.hpp"
#include "support/log_capture.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using ktest::LogEntry;
using namespace std::chrono_literals;

const std::vector<uint16_t> VALUES = {0x0102, 0x0304, 0x0506};

class Transactions : public ktest::SimTest {
protected:
    void SetUp() override { serve().set_registers(200, VALUES); }

    std::vector<uint16_t> journal_ids() {
        std::vector<uint16_t> ids;
        for (const ksim::Request& r : sim().journal()) ids.push_back(r.transaction_id);
        return ids;
    }
};

TEST_F(Transactions, CountFromOneAndWrapAfter65535) {
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    client.read_holding_registers(200, 1);
    client.write_single_register(200, 9);
    client.write_multiple_registers(200, {1});
    EXPECT_EQ(journal_ids(), (std::vector<uint16_t>{1, 2, 3}));

    for (int sent = 3; sent < 65534; ++sent) client.read_holding_registers(200, 1);
    sim().clear_journal();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(client.read_holding_registers(201, 2), (std::vector<uint16_t>{0x0304, 0x0506}));
    EXPECT_EQ(journal_ids(), (std::vector<uint16_t>{65535, 0, 1}));
}

TEST_F(Transactions, UnitIsTheClientsUnlessARequestNamesOne) {
    kolvane::ConnectionOptions options = connection();
    options.unit_id = 7;
    ModbusTcpClient client(ktest::LOOPBACK, options);
    client.connect();
    client.read_holding_registers(200, 1);
    client.read_holding_registers(200, 1, -5);
    client.read_holding_registers(200, 1, 0x1FF);  // only the low 8 bits travel
    client.read_holding_registers(200, 1, 0);
    kolvane::read_words(client, 200, 3);
    client.write_single_register(200, 1);
    client.write_multiple_registers(200, {1});
    std::vector<int> units;
    for (const ksim::Request& r : sim().journal()) units.push_back(r.unit);
    EXPECT_EQ(units, (std::vector<int>{7, 7, 0xFF, 0, 7, 7, 7}));
}

// The meter answers with a frame left over from an earlier request before the right one:
// the stale frame (whose values differ) is dropped and noted at debug level.
TEST_F(Transactions, StaleFrameBeforeTheReplyIsDiscarded) {
    sim().add_fault(ksim::Fault::late_reply().nth(2));
    ktest::LogCapture log;
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    EXPECT_EQ(client.read_holding_registers(200, 3), VALUES);
    EXPECT_EQ(client.read_holding_registers(200, 3), VALUES);
    EXPECT_EQ(client.read_holding_registers(200, 3), VALUES);
    EXPECT_EQ(sim().fault_hits(0), 1);
    const std::string endpoint = "127.0.0.1:" + std::to_string(port());
    EXPECT_EQ(log.entries(), (std::vector<LogEntry>{
                                 {3, "Connected to " + endpoint},
                                 {3, "Discarded a reply with transaction id 1 while waiting for 2"},
                             }));
}

// A reply that comes after its request gave up arrives while the next request waits.
TEST_F(Transactions, ReplyToATimedOutRequestDoesNotAnswerTheNext) {
    sim().add_fault(ksim::Fault::delay(600ms).nth(1));
    sim().set_registers(300, {0xAAAA});
    ktest::LogCapture log;
    ModbusTcpClient client(ktest::LOOPBACK, connection(400));
    client.connect();
    try {
        client.read_holding_registers(200, 3);
        ADD_FAILURE() << "the delayed reply came within the time limit";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), no_reply(400));
    }
    EXPECT_EQ(client.read_holding_registers(300, 1), std::vector<uint16_t>{0xAAAA});
    EXPECT_EQ(log.at_level(3).back(),
              "Discarded a reply with transaction id 1 while waiting for 2");
}

}  // namespace
