// SPDX-License-Identifier: MIT
// read_log_file: how the status flags, sequence numbers, empty blocks and the record limit
// end a transfer, with the exact block traffic and the summary messages.
#include <gtest/gtest.h>

#include "support/failure.hpp"
#include "support/log_capture.hpp"
#include "support/sim_meter.hpp"
#include "transfer_support.hpp"

using namespace ktest;
using kolvane::read_log_file;

namespace {

class ReadLogFile : public ::testing::Test {
protected:
    // Serves `file` as file 1 and transfers it with the given limit.
    int transfer(ksim::LogFile file, int max_records) {
        meter.sim.set_log(1, std::move(file));
        auto client = meter.connect();
        return read_log_file(*client, 1, max_records, got.consumer());
    }

    SimMeter meter;
    Collected got;
};

TEST_F(ReadLogFile, ZeroLimitMakesNoRequest) {
    EXPECT_EQ(transfer(log_file({record(1), record(2, 0x0001)}, 10), 0), 0);
    EXPECT_TRUE(got.records.empty());
    EXPECT_EQ(meter.traffic(), std::vector<std::string>{});
}

TEST_F(ReadLogFile, LastRecordFlagEndsAfterOneAcknowledge) {
    LogCapture log;
    const std::vector<Record> records = {record(1), record(2), record(3, 0x0001)};

    EXPECT_EQ(transfer(log_file(records, 10), -1), 3);

    EXPECT_EQ(got.records, records);  // complete records, status and sequence included
    EXPECT_EQ(meter.traffic(), concat({block(1, 30), ACK}));
    EXPECT_EQ(without_debug(log), std::vector<LogEntry>{});
}

// A meter that never moves on: the second reply is all duplicates and is acknowledged, the
// third ends the transfer without an acknowledge.
TEST_F(ReadLogFile, RepeatedBlockStopsWithNoProgressWarning) {
    LogCapture log;
    ksim::LogFile file = log_file({record(1), record(2), record(3)}, 3);
    file.reserve_forever = true;

    EXPECT_EQ(transfer(file, -1), 3);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 30), ACK, block(1, 30), ACK, block(1, 30)}));
    EXPECT_EQ(
        without_debug(log),
        (std::vector<LogEntry>{{1, "File 1: no forward progress, stopping after 3 records"}}));
}

TEST_F(ReadLogFile, SecondEmptyBlockEndsWithoutAcknowledge) {
    struct Case {
        const char* what;
        std::optional<uint16_t> header_records, header_words;
    };
    const Case cases[] = {
        {"no records", std::nullopt, std::nullopt},
        {"5 records of 7 words", 5, 7},
        {"records of 0 words", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter fresh;
        ksim::LogFile file = log_file({}, 10);
        file.header_records = c.header_records;
        file.header_words = c.header_words;
        fresh.sim.set_log(1, file);
        auto client = fresh.connect();
        Collected none;
        LogCapture log;

        EXPECT_EQ(read_log_file(*client, 1, -1, none.consumer()), 0);

        EXPECT_TRUE(none.records.empty());
        EXPECT_EQ(fresh.traffic(), concat({empty_block(1), ACK, empty_block(1)}));
        EXPECT_EQ(without_debug(log), std::vector<LogEntry>{});
    }
}

// One empty reply between blocks is retried; the summary counts it as a block request.
TEST_F(ReadLogFile, SingleEmptyBlockIsRetriedAndCounted) {
    LogCapture log;
    ksim::LogFile file = log_file({record(1), record(2), record(3), record(4, 0x0001)}, 2);
    file.empty_at = 2;
    file.empty_count = 1;

    EXPECT_EQ(transfer(file, -1), 4);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 20), ACK, empty_block(1), ACK, block(1, 20), ACK}));
    EXPECT_EQ(without_debug(log), std::vector<LogEntry>{});
}

TEST_F(ReadLogFile, EndOfFileStatusEndsWithoutDeliveryButAcknowledges) {
    EXPECT_EQ(transfer(log_file({record(1), record(2, 0x0800), record(3)}, 10), -1), 1);

    EXPECT_EQ(got.seqs(), std::vector<uint16_t>{1});
    EXPECT_EQ(meter.traffic(), concat({block(1, 30), ACK}));
}

TEST_F(ReadLogFile, EveryEndOfFileBitEndsTheTransfer) {
    for (uint16_t bit : {0x0100, 0x0200, 0x0800, 0x2000, 0x4000, 0x8000}) {
        SCOPED_TRACE(bit);
        SimMeter fresh;
        fresh.sim.set_log(1, log_file({record(1), record(2, bit), record(3)}, 10));
        auto client = fresh.connect();
        Collected some;

        EXPECT_EQ(read_log_file(*client, 1, -1, some.consumer()), 1);
        EXPECT_EQ(fresh.traffic(), concat({block(1, 30), ACK}));
    }
}

TEST_F(ReadLogFile, SkipStatusDropsOnlyThatRecord) {
    EXPECT_EQ(transfer(log_file({record(1), record(2, 0x0400), record(3, 0x0001)}, 10), -1), 2);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 3}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 30), ACK}));
}

// The end-of-block flag drops the rest of its block; the next block goes on.
TEST_F(ReadLogFile, EndOfBlockStatusDropsRestOfBlock) {
    const std::vector<Record> records = {record(1), record(2, 0x1000), record(3), record(4),
                                         record(5, 0x0001)};

    EXPECT_EQ(transfer(log_file(records, 3), -1), 3);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 4, 5}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 30), ACK, block(1, 20), ACK}));
}

// An end-of-block flag on the first record delivers nothing: two such blocks in a row stop
// the transfer as a stall.
TEST_F(ReadLogFile, EndOfBlockFirstCountsAsNoProgress) {
    LogCapture log;
    const std::vector<Record> records = {record(1, 0x1000), record(2), record(3, 0x1000), record(4),
                                         record(5, 0x0001)};

    EXPECT_EQ(transfer(log_file(records, 2), -1), 0);

    EXPECT_TRUE(got.records.empty());
    EXPECT_EQ(meter.traffic(), concat({block(1, 20), ACK, block(1, 20)}));
    EXPECT_EQ(
        without_debug(log),
        (std::vector<LogEntry>{{1, "File 1: no forward progress, stopping after 0 records"}}));
}

// Flags are tested in a fixed order: end of file, end of block, skip, sequence, and the
// last-record flag only after delivery.
TEST(ReadLogFileFlags, CombinedFlagsFollowTheirOrder) {
    struct Case {
        const char* what;
        Record second;
        std::vector<uint16_t> seqs;
        std::vector<std::string> traffic;
    };
    const Case cases[] = {
        {"end of file wins over skip", record(2, 0x0C00), {1}, concat({block(1, 40), ACK})},
        {"end of block wins over skip",
         record(2, 0x1400),
         {1},
         concat({block(1, 40), ACK, empty_block(1), ACK, empty_block(1)})},
        {"skipped last record does not end",
         record(2, 0x0401),
         {1, 3, 4},
         concat({block(1, 40), ACK})},
        {"duplicate last record does not end",
         record(1, 0x0001),
         {1, 3, 4},
         concat({block(1, 40), ACK})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        meter.sim.set_log(1, log_file({record(1), c.second, record(3), record(4, 0x0001)}, 10));
        auto client = meter.connect();
        Collected got;

        EXPECT_EQ(read_log_file(*client, 1, -1, got.consumer()), int(c.seqs.size()));
        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(meter.traffic(), c.traffic);
    }
}

// An empty reply between two blocks of duplicates does not reset the stall count.
TEST_F(ReadLogFile, EmptyBlockBetweenStallsDoesNotResetThem) {
    LogCapture log;
    ksim::LogFile file = log_file({record(1), record(2), record(3)}, 3);
    file.reserve_forever = true;
    meter.sim.add_fault(ksim::Fault::pdu({3, 16, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})
                            .reads(63152)
                            .nth(3));

    EXPECT_EQ(transfer(file, -1), 3);

    EXPECT_EQ(meter.traffic(),
              concat({block(1, 30), ACK, block(1, 30), ACK, empty_block(1), ACK, block(1, 30)}));
    EXPECT_EQ(
        without_debug(log),
        (std::vector<LogEntry>{{1, "File 1: no forward progress, stopping after 3 records"}}));
}

TEST_F(ReadLogFile, LimitCutsBlockAndAcknowledges) {
    EXPECT_EQ(transfer(log_file({record(1), record(2), record(3), record(4), record(5)}, 5), 2), 2);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 50), ACK}));
}

TEST_F(ReadLogFile, LimitCountsAcrossBlocks) {
    EXPECT_EQ(transfer(log_file({record(1), record(2), record(3), record(4), record(5)}, 2), 3), 3);

    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(meter.traffic(), concat({block(1, 20), ACK, block(1, 20), ACK}));
}

// A record is new when its sequence number is 1 to 32768 ahead of the last one delivered,
// counted modulo 65536; the first record of a transfer is always new.
TEST(ReadLogFileSequence, NewnessWrapsModulo65536) {
    struct Case {
        uint16_t first, second;
        bool second_is_new;
    };
    const Case cases[] = {
        {65535, 0, true}, {10, 11, true},    {10, 10, false},     {10, 9, false},
        {0, 32768, true}, {0, 32769, false}, {40000, 7232, true}, {40000, 7233, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        SimMeter meter;
        meter.sim.set_log(
            1, log_file({record(c.first), record(c.second), record(c.first, 0x0800)}, 10));
        auto client = meter.connect();
        Collected got;

        // A record not newer than the first is from before the transfer's first record: not
        // this log's at this place, and the transfer stops.
        const std::string failure =
            ktest::failure_of([&] { read_log_file(*client, 1, -1, got.consumer()); });

        const std::vector<uint16_t> expected = c.second_is_new
                                                   ? std::vector<uint16_t>{c.first, c.second}
                                                   : std::vector<uint16_t>{c.first};
        EXPECT_EQ(got.seqs(), expected);
        EXPECT_EQ(failure == "(no failure)", c.second_is_new || c.second == c.first) << failure;
    }
}

// Duplicates are recognised across blocks: a meter that hands the tail of the last block
// out again delivers it once.
TEST(ReadLogFileSequence, DuplicatesAcrossBlocksAreDeliveredOnce) {
    SimMeter meter;
    meter.sim.set_log(
        1,
        log_file({record(65534), record(65535), record(65535), record(0), record(1, 0x0001)}, 2));
    auto client = meter.connect();
    Collected got;

    EXPECT_EQ(read_log_file(*client, 1, -1, got.consumer()), 4);
    EXPECT_EQ(got.seqs(), (std::vector<uint16_t>{65534, 65535, 0, 1}));
}

}  // namespace
