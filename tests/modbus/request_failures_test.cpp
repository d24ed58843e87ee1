// SPDX-License-Identifier: MIT
// Every way a reply can go wrong, produced by the simulator over a real connection, with the
// message the client raises; and whether the connection still serves the next request.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "modbus/client.hpp"
#include "support/journal.hpp"
#include "support/sim_fixture.hpp"

namespace {

using kolvane::ModbusTcpClient;
using ksim::Fault;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t FIRST = 100;
const std::vector<uint16_t> VALUES = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xFFFF};

enum class Call { Read10, WriteSingle, WriteMultiple };

struct Case {
    const char* name;
    Call call;
    Fault fault;
    std::string message;
    // The reply was a whole frame, so the client has consumed it and the next request on the
    // same connection gets its own answer.
    bool connection_usable;
    int timeout_ms = ktest::HANG_GUARD_MS;
};

// A read reply PDU: function code, byte count, then `data_bytes` bytes of filler.
Bytes read_reply(uint8_t function, uint8_t byte_count, size_t data_bytes) {
    Bytes pdu{function, byte_count};
    pdu.resize(2 + data_bytes, 0x11);
    return pdu;
}

Bytes padded(Bytes pdu, size_t size) {
    pdu.resize(size, 0);
    return pdu;
}

const Case CASES[] = {
    {"exception 0x83 0x02", Call::Read10, Fault::pdu({0x83, 0x02}), "Modbus exception 2", true},
    {"exception code 255", Call::Read10, Fault::pdu({0x83, 0xFF}), "Modbus exception 255", true},
    {"one-byte exception PDU (length 2)", Call::Read10, Fault::pdu({0x83}), "Modbus exception -1",
     true},
    {"exception PDU of 259 bytes (length 260)", Call::Read10, Fault::pdu(padded({0x83, 0x04}, 259)),
     "Modbus exception 4", true},
    {"refused by the meter", Call::Read10, Fault::exception(2), "Modbus exception 2", true},
    {"wrong function code", Call::Read10, Fault::pdu(read_reply(0x04, 20, 20)),
     "Invalid read response", true},
    {"function code only (length 2)", Call::Read10, Fault::pdu({0x03}), "Invalid read response",
     true},
    {"byte count 18 for 10 registers", Call::Read10, Fault::pdu(read_reply(0x03, 18, 18)),
     "Malformed read response length", true},
    {"byte count 20 but 22 data bytes", Call::Read10, Fault::pdu(read_reply(0x03, 20, 22)),
     "Malformed read response length", true},
    {"read reply of 259 bytes (length 260)", Call::Read10, Fault::pdu(read_reply(0x03, 0xFF, 257)),
     "Malformed read response length", true},
    {"MBAP length 0", Call::Read10, Fault::pdu({0x83, 0x02}, 0), "Invalid MBAP length: 0", false},
    {"MBAP length 1", Call::Read10, Fault::pdu({0x83, 0x02}, 1), "Invalid MBAP length: 1", false},
    {"MBAP length 261", Call::Read10, Fault::pdu(padded({0x83, 0x02}, 260)),
     "Invalid MBAP length: 261", false},
    {"MBAP length 65535", Call::Read10, Fault::pdu({0x83, 0x02}, 65535),
     "Invalid MBAP length: 65535", false},
    {"peer closes while the reply is awaited", Call::Read10, Fault::close(), "socket recv failed",
     false},
    {"peer closes inside the MBAP header", Call::Read10, Fault::close_after_bytes(3),
     "socket recv failed", false},
    {"peer closes inside the PDU", Call::Read10, Fault::close_after_bytes(9), "socket recv failed",
     false},
    {"no reply within the time limit", Call::Read10, Fault::no_reply(), "", false, 300},
    {"write single: 4-byte reply", Call::WriteSingle, Fault::pdu({0x06, 0, FIRST, 0}),
     "Invalid write single response", true},
    {"write single: 6-byte reply", Call::WriteSingle, Fault::pdu({0x06, 0, FIRST, 0, 7, 0}),
     "Invalid write single response", true},
    {"write single: wrong function code", Call::WriteSingle, Fault::pdu({0x10, 0, FIRST, 0, 7}),
     "Invalid write single response", true},
    {"write single: refused", Call::WriteSingle, Fault::exception(3), "Modbus exception 3", true},
    {"write multiple: 4-byte reply", Call::WriteMultiple, Fault::pdu({0x10, 0, FIRST, 0}),
     "Invalid write multiple response", true},
    {"write multiple: 6-byte reply", Call::WriteMultiple, Fault::pdu({0x10, 0, FIRST, 0, 2, 0}),
     "Invalid write multiple response", true},
    {"write multiple: wrong function code", Call::WriteMultiple, Fault::pdu({0x06, 0, FIRST, 0, 2}),
     "Invalid write multiple response", true},
    {"write multiple: refused", Call::WriteMultiple, Fault::exception(4), "Modbus exception 4",
     true},
};

void perform(ModbusTcpClient& client, Call call) {
    switch (call) {
        case Call::Read10:
            client.read_holding_registers(FIRST, 10);
            break;
        case Call::WriteSingle:
            client.write_single_register(FIRST, 7);
            break;
        case Call::WriteMultiple:
            client.write_multiple_registers(FIRST, {7, 8});
            break;
    }
}

int function_of(Call call) { return call == Call::Read10 ? 3 : call == Call::WriteSingle ? 6 : 16; }

class RequestFailure : public ktest::SimTest {
protected:
    void SetUp() override { serve().set_registers(FIRST, VALUES); }
};

TEST_F(RequestFailure, EachFaultGivesItsMessage) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(c.name);
        sim().clear_faults();
        sim().clear_journal();
        Fault fault = c.fault;
        sim().add_fault(fault.nth(1));

        ModbusTcpClient client(ktest::LOOPBACK, connection(c.timeout_ms));
        client.connect();
        try {
            perform(client, c.call);
            ADD_FAILURE() << "the request succeeded";
        } catch (const std::runtime_error& e) {
            // An empty message stands for the time-out's, which names the port.
            EXPECT_EQ(std::string(e.what()),
                      c.message.empty() ? no_reply(c.timeout_ms) : c.message);
        }
        ASSERT_EQ(sim().journal_size(), 1u) << "a failed request is never retried";
        EXPECT_EQ(sim().journal()[0].function, function_of(c.call));

        if (c.connection_usable) {
            const size_t connections = sim().connections_accepted();
            EXPECT_EQ(client.read_holding_registers(FIRST, 10), VALUES);
            EXPECT_EQ(sim().connections_accepted(), connections) << "no reconnect";
        }
    }
}

// Writes that are answered properly go out with the exact PDU of each function.
TEST_F(RequestFailure, WritesCarryTheirValues) {
    ModbusTcpClient client(ktest::LOOPBACK, connection());
    client.connect();
    client.write_single_register(FIRST, 0x1234);
    client.write_multiple_registers(FIRST + 1, {0xBEEF, 0x0102});
    const auto journal = sim().journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].pdu, (Bytes{0x06, 0, FIRST, 0x12, 0x34}));
    EXPECT_EQ(journal[1].pdu, (Bytes{0x10, 0, FIRST + 1, 0, 2, 4, 0xBE, 0xEF, 0x01, 0x02}));
    EXPECT_EQ(client.read_holding_registers(FIRST, 3),
              (std::vector<uint16_t>{0x1234, 0xBEEF, 0x0102}));
}

}  // namespace
