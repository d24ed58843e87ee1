// SPDX-License-Identifier: MIT
// read_log_file under failure: block headers the block window cannot hold, Modbus failures
// and a consumer that raises, each keeping what was delivered before.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/failure.hpp"
#include "support/log_capture.hpp"
#include "support/sim_meter.hpp"
#include "transfer_support.hpp"

using namespace ktest;
using kolvane::read_log_file;

namespace {

// The block data starts at register 63160, so at most 2376 registers fit before the address
// runs past 65535; a header announcing more is a malformed reply, and nothing is read.
TEST(ReadLogFileBlockHeader, MoreThanTheWindowHoldsFails) {
    struct Case {
        uint16_t records, words;
        const char* message;
    };
    const Case cases[] = {
        {199, 12,
         "File 1: block header announces 199 records of 12 words, more than the meter's block "
         "window holds"},
        {4096, 16,
         "File 1: block header announces 4096 records of 16 words, more than the meter's block "
         "window holds"},
        {65535, 65535,
         "File 1: block header announces 65535 records of 65535 words, more than the meter's block "
         "window holds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        SimMeter meter;
        ksim::LogFile file = log_file({record(1)}, 10);
        file.header_records = c.records;
        file.header_words = c.words;
        meter.sim.set_log(1, file);
        auto client = meter.connect();
        Collected got;

        EXPECT_EQ(ktest::failure_of([&] { read_log_file(*client, 1, -1, got.consumer()); }),
                  c.message);
        EXPECT_TRUE(got.records.empty());
        EXPECT_EQ(meter.traffic(), empty_block(1));
    }
}

TEST(ReadLogFileBlockHeader, FullWindowIsReadToRegister65535) {
    std::vector<Record> records;
    for (uint16_t seq = 1; seq <= 198; ++seq) {
        records.push_back(ksim::datalog_record(seq == 198 ? 1 : 0, seq, 0, 0, 0, {seq, -seq}));
    }
    SimMeter meter;
    meter.sim.set_log(1, log_file(records, 198));  // 198 records of 12 words: 2376 registers
    auto client = meter.connect();
    Collected got;

    EXPECT_EQ(read_log_file(*client, 1, -1, got.consumer()), 198);

    EXPECT_EQ(got.records, records);
    const std::vector<std::string> traffic = meter.traffic();
    ASSERT_GE(traffic.size(), 2u);
    EXPECT_EQ(traffic[traffic.size() - 2], "FC3 65440 96");  // the last words end at 65535
}

// A bad header after a good block: the good block's records stay delivered.
TEST(ReadLogFileBlockHeader, BadSecondHeaderKeepsFirstBlock) {
    SimMeter meter;
    meter.sim.set_log(1, log_file({record(1), record(2), record(3), record(4)}, 2));
    meter.sim.add_fault(ksim::Fault::pdu({3, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 199, 0, 12, 0, 0, 0, 0})
                            .reads(63152)
                            .nth(2));
    auto client = meter.connect();
    Collected got;

    EXPECT_EQ(ktest::failure_of([&] { read_log_file(*client, 1, -1, got.consumer()); }),
              "File 1: block header announces 199 records of 12 words, more than the meter's block "
              "window holds");
    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 20), ACK, empty_block(1)}));
}

TEST(ReadLogFileFailure, ModbusFailureMidTransferKeepsDeliveredRecords) {
    struct Case {
        const char* what;
        ksim::Fault fault;
        const char* message;
    };
    const Case cases[] = {
        {"exception reply", ksim::Fault::exception(4).reads(63160).nth(2), "Modbus exception 4"},
        {"connection closed", ksim::Fault::close().reads(63160).nth(2), "socket recv failed"},
        {"no reply", ksim::Fault::no_reply().reads(63160).nth(2), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        meter.sim.set_log(1, log_file({record(1), record(2), record(3), record(4, 0x0001)}, 2));
        meter.sim.add_fault(c.fault);
        auto client = meter.connect();
        Collected got;
        LogCapture log;

        EXPECT_EQ(ktest::failure_of([&] { read_log_file(*client, 1, -1, got.consumer()); }),
                  *c.message ? c.message : meter.no_reply());
        EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2}));
        EXPECT_EQ(meter.traffic(), concat({block(1, 20), ACK, block(1, 20)}));
        EXPECT_TRUE(log.entries().empty());  // a failed transfer logs no summary
    }
}

// A consumer that raises stops the transfer at once: the block is not acknowledged.
TEST(ReadLogFileFailure, ConsumerFailurePropagatesWithoutAcknowledge) {
    SimMeter meter;
    meter.sim.set_log(1, log_file({record(1), record(2), record(3, 0x0001)}, 10));
    auto client = meter.connect();
    LogCapture log;
    int calls = 0;

    EXPECT_EQ(ktest::failure_of([&] {
                  read_log_file(*client, 1, -1, [&](std::span<const uint16_t>) {
                      if (++calls == 2) throw std::runtime_error("consumer stops");
                  });
              }),
              "consumer stops");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(meter.traffic(), block(1, 30));
    EXPECT_TRUE(log.entries().empty());
}

}  // namespace
