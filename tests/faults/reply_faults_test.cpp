// SPDX-License-Identifier: MIT
// Replies that break off, lie about their length, refuse, or do not fit the request, each at
// the request of every operation it concerns (see aim.hpp). Reading operations fail with the
// transport's message; the log operations keep the first block; the log directory leaves
// out the file whose File Info failed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aim.hpp"
#include "fault_check.hpp"

namespace kfault {
namespace {

using ksim::Fault;

struct ReplyFault {
    std::string what;
    Fault action;
    Aim aim;
    std::string message;
    std::string live;  // the live set's message; empty when the fault does not concern it
    int waits = 0;
    int code = 0;  // the exception answered, if any
};

std::string no_values(const std::string& message) { return "No values could be read: " + message; }

// A failure that says nothing of the meter's setup ends the live set at once; only the meter's
// answer that it has no such register makes it try the points one by one.
std::vector<ReplyFault> reply_faults() {
    std::vector<ReplyFault> rows = {
        {"peer closes before the header", Fault::close(), Aim::read, "socket recv failed",
         "socket recv failed", 0},
        {"peer closes inside the header", Fault::close_after_bytes(3), Aim::read,
         "socket recv failed", "socket recv failed", 0},
        {"peer closes after the header", Fault::close_after_bytes(7), Aim::read,
         "socket recv failed", "socket recv failed", 0},
        {"peer closes inside the PDU", Fault::close_after_bytes(10), Aim::read,
         "socket recv failed", "socket recv failed", 0},
        {"reply never comes", Fault::no_reply(), Aim::read, NO_REPLY, "", 1},
        {"only a reply to another transaction comes",
         Fault::raw({0xAB, 0xCD, 0, 0, 0, 3, 1, 0x83, 0x02}), Aim::read, NO_REPLY, "", 1},
        {"MBAP length 2: a bare function code", Fault::pdu({0x03}), Aim::read,
         "Invalid read response", "Invalid read response", 0},
        {"wrong function code", Fault::pdu({0x04, 0x02, 0x00, 0x00}), Aim::read,
         "Invalid read response", "Invalid read response", 0},
        {"byte count too short", Fault::pdu({0x03, 0x02, 0x00, 0x01}), Aim::read,
         "Malformed read response length", "Malformed read response length", 0},
        {"byte count beyond the PDU", Fault::pdu({0x03, 0x08, 0x00, 0x01, 0x00, 0x02}), Aim::read,
         "Malformed read response length", "Malformed read response length", 0},
        {"exception PDU of one byte", Fault::pdu({0x83}), Aim::read, "Modbus exception -1",
         "Modbus exception -1", 0},
        {"write single reply of 4 bytes", Fault::pdu({0x06, 0xF6, 0x90, 0x00}), Aim::write_single,
         "Invalid write single response", "", 0},
        {"write single reply of 6 bytes", Fault::pdu({0x06, 0xF6, 0x90, 0x00, 0x01, 0x00}),
         Aim::write_single, "Invalid write single response", "", 0},
        {"write single answered as a read", Fault::pdu({0x03, 0x02, 0x00, 0x01}), Aim::write_single,
         "Invalid write single response", "", 0},
        {"write multiple reply of 4 bytes", Fault::pdu({0x10, 0xF6, 0x90, 0x00}),
         Aim::write_multiple, "Invalid write multiple response", "", 0},
        {"write multiple reply of 6 bytes", Fault::pdu({0x10, 0xF6, 0x90, 0x00, 0x06, 0x00}),
         Aim::write_multiple, "Invalid write multiple response", "", 0},
        {"write refused", Fault::exception(4), Aim::write_multiple, "Modbus exception 4", "", 0, 4},
        {"acknowledge answered busy", Fault::exception(6), Aim::write_single, BUSY, "", 0, 6},
        {"acknowledge answered 5: under way, not sent twice", Fault::exception(5),
         Aim::write_single, "Modbus exception 5", "", 0, 5},
        {"peer closes on a write", Fault::close(), Aim::write_single, "socket recv failed", "", 0},
        {"write never answered", Fault::no_reply(), Aim::write_multiple, NO_REPLY, "", 1},
    };
    // A byte count that agrees with the PDU but not with the quantity asked for.
    std::vector<uint8_t> long_reply = {0x03, 254};
    long_reply.resize(2 + 254, 0x11);
    rows.push_back({"byte count too long", Fault::pdu(long_reply), Aim::read,
                    "Malformed read response length", "Malformed read response length", 0});
    // Header only: the announced length is refused before any PDU byte is read.
    for (const int length : {0, 1, 261, 65535}) {
        const std::string message = "Invalid MBAP length: " + std::to_string(length);
        rows.push_back({"MBAP length " + std::to_string(length), Fault::pdu({}, length), Aim::read,
                        message, message, 0});
    }
    for (const int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 255}) {
        const std::string message = code == 5 || code == 6 ? BUSY
                                    : code == 11           ? NO_METER
                                                 : "Modbus exception " + std::to_string(code);
        rows.push_back({"exception " + std::to_string(code), Fault::exception(uint8_t(code)),
                        Aim::read, message, code <= 3 ? no_values(message) : message, 0, code});
    }
    return rows;
}

// The directory without file 1: the meter said it has no such file; the event log it has.
const std::string EVENT_LOG_ONLY =
    R"({"meter":"em133","host":"127.0.0.1","logs":[{"file_id":0,"type":"eventlog","records":6}]})";

// Sent again after a busy answer (5 only to a read) or, once, after exception 11 to a read.
bool retried(const ReplyFault& row) {
    const bool read = row.aim == Aim::read;
    return row.code == 6 || (read && (row.code == 5 || row.code == 11));
}

Expected expected(const ReplyFault& row, Op op) {
    // The identity and live reads are refused on every try; the others only once.
    const bool every_try = row.aim == Aim::read && (op == Op::device_info || op == Op::live);
    if (retried(row) && !every_try) {
        const Outcome& want = healthy(op);
        return {want.status, "", want.texts, 0};
    }
    const bool absent = row.code >= 1 && row.code <= 3;
    if (op == Op::list_logs) {
        if (absent) return {1, "", {EVENT_LOG_ONLY}, row.waits};
        return {-1, "Cannot read File Info of data log 1 (file 1): " + row.message, {}, row.waits};
    }
    if (op == Op::live) return {-1, row.live, {}, row.waits};
    if (is_log(op)) return {-1, row.message, first(healthy(op).texts, 1 + PER_BLOCK), row.waits};
    return {-1, row.message, {}, row.waits};
}

TEST(ReplyFaults, EachOperationItConcerns) {
    int runs = 0;
    for (const ReplyFault& row : reply_faults()) {
        SCOPED_TRACE(row.what);
        for (const Op op : ALL_OPS) {
            if (!concerns(row.aim, op) || (op == Op::live && row.live.empty())) continue;
            FaultMeter meter;
            meter.sim.add_fault(aimed(row.action, row.aim, op));
            expect_call(&meter.sim, op, meter.call(), expected(row, op));
            EXPECT_GE(meter.sim.fault_hits(0), 1) << "the fault never struck";
            expect_recovers(meter, op);
            ++runs;
        }
    }
    EXPECT_GE(runs, 150);
}

// The meter closes the connection right after its reply to the Nth block's data: those
// blocks stay delivered, the acknowledge that follows fails (also when it was the last block).
TEST(ReplyFaults, PeerClosesAfterGoodBlocks) {
    for (int blocks = 1; blocks <= RECORDS / PER_BLOCK; ++blocks) {
        SCOPED_TRACE(std::to_string(blocks) + " good blocks");
        for (const Op op : LOG_OPS) {
            FaultMeter meter;
            meter.sim.add_fault(Fault::reply_then_close().reads(63160).nth(blocks));
            expect_call(&meter.sim, op, meter.call(),
                        {-1, "socket recv failed",
                         first(healthy(op).texts, size_t(1 + PER_BLOCK * blocks)), 0});
            expect_recovers(meter, op);
        }
    }
}

// Three good replies, then the meter closes on the fourth request: the data log loses the
// connection while reading its scaling, the event log inside File Info. Both fail, naming
// what they could not read, and deliver nothing.
TEST(ReplyFaults, PeerClosesAfterThreeGoodReplies) {
    const std::string setup = "Cannot read the energy decimals (register 2393): socket recv failed";
    const std::string file_info =
        "Cannot read File Info of the event log (file 0): socket recv failed";
    const struct {
        Op op;
        std::string message;
        std::vector<std::string> texts;
    } cases[] = {
        {Op::datalog_stream, setup, {}},
        {Op::datalog_csv, setup, {}},
        {Op::eventlog_stream, file_info, {}},
        {Op::eventlog_csv, file_info, first(healthy(Op::eventlog_csv).texts, 1)},
    };
    for (const auto& c : cases) {
        FaultMeter meter;
        meter.sim.add_fault(Fault::close().nth(4));
        expect_call(&meter.sim, c.op, meter.call(), {-1, c.message, c.texts, 0});
        expect_recovers(meter, c.op);
    }
}

}  // namespace
}  // namespace kfault
