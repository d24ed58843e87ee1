// SPDX-License-Identifier: MIT
// kolvane_read_datalog: the header and data records byte for byte, the lazy header, the
// traffic order, cancellation and failures that keep what was delivered.
#include <gtest/gtest.h>

#include "datalog_meter.hpp"
#include "kolvane.h"
#include "support/callbacks.hpp"
#include "support/log_capture.hpp"

using namespace ktest;

namespace {

class ReadDatalog : public ::testing::Test {
protected:
    int read(int file_id = 1) {
        return kolvane_read_datalog("127.0.0.1", "em133", file_id, meter.options().c_str(),
                                    &RecordSink::receive, &sink, err, sizeof err);
    }

    SimMeter meter;
    RecordSink sink;
    char err[256] = "untouched";
};

TEST_F(ReadDatalog, StreamsHeaderThenScaledRecords) {
    serve(meter, three_record_file());
    LogCapture log;

    EXPECT_EQ(read(), 3);

    EXPECT_STREQ(err, "");
    EXPECT_EQ(sink.texts, concat({{json_header(3)}, JSON_RECORDS}));
    EXPECT_EQ(meter.traffic(), concat({traffic_before_blocks(), THREE_RECORD_BLOCKS}));
    EXPECT_EQ(without_debug(log), (std::vector<LogEntry>{{2, "File 1: 3 records"}}));
}

// The seek comes right after variant 0, before the first block request.
TEST_F(ReadDatalog, SeeksToStartBeforeBlocks) {
    ksim::LogFile file = three_record_file();
    file.start_index = 100;
    file.read_index = 105;
    serve(meter, file);

    EXPECT_EQ(read(), 3);

    EXPECT_EQ(
        meter.traffic(),
        concat({traffic_before_blocks(), {"FC16 63120 [3,1,0,0,100,0]"}, THREE_RECORD_BLOCKS}));
}

TEST_F(ReadDatalog, ZeroRecordsDeliversHeaderAloneWithoutBlockRequest) {
    ksim::LogFile file = three_record_file();
    file.records.clear();
    serve(meter, file);

    EXPECT_EQ(read(), 0);

    EXPECT_EQ(sink.texts, std::vector<std::string>{json_header(0)});
    EXPECT_EQ(meter.traffic(), traffic_before_blocks());
}

TEST_F(ReadDatalog, UnknownCountGivesTotalMinusOneAndReadsToTheEnd) {
    ksim::LogFile file = three_record_file();
    file.var0_refusal = {2, false};
    serve(meter, file);
    LogCapture log;

    EXPECT_EQ(read(), 3);

    EXPECT_EQ(sink.texts, concat({{json_header(-1)}, JSON_RECORDS}));
    EXPECT_EQ(without_debug(log),
              (std::vector<LogEntry>{{1, "File 1: File Info unavailable, record count unknown"}}));
}

// Without a column list the first record's size names the columns, so the header waits
// for it.
TEST_F(ReadDatalog, MissingColumnListNamesColumnsFromFirstRecord) {
    ksim::LogFile file;
    file.records = {ksim::datalog_record(0, 1, 0, 0, 1, {1, -2, 3}),
                    ksim::datalog_record(0x0001, 2, 60, 5000, 2, {4, 5, 6})};
    file.var2_refusal = {2, false};
    serve(meter, file);

    EXPECT_EQ(read(), 2);

    EXPECT_EQ(
        sink.texts,
        (std::vector<std::string>{
            json_header(2,
                        "[{\"name\":\"Param_1\",\"unit\":\"\",\"decimals\":0},"
                        "{\"name\":\"Param_2\",\"unit\":\"\",\"decimals\":0},"
                        "{\"name\":\"Param_3\",\"unit\":\"\",\"decimals\":0}]"),
            "{\"type\":\"record\",\"no\":1,\"seq\":1,\"timestamp\":\"1970-01-01T00:00:00.000Z\","
            "\"trigger\":\"SP1\",\"values\":[1,-2,3]}",
            "{\"type\":\"record\",\"no\":2,\"seq\":2,\"timestamp\":\"1970-01-01T00:01:00.005Z\","
            "\"trigger\":\"SP2\",\"values\":[4,5,6]}"}));
}

TEST_F(ReadDatalog, MissingColumnListAndNoRecordsGivesEmptyColumns) {
    ksim::LogFile file;
    file.var2_refusal = {2, true};
    serve(meter, file);

    EXPECT_EQ(read(), 0);

    EXPECT_EQ(sink.texts, std::vector<std::string>{json_header(0, "[]")});
}

// A record shorter than the column set gives fewer values; nothing is padded.
TEST_F(ReadDatalog, ShortRecordGivesFewerValues) {
    ksim::LogFile file = three_record_file();
    file.records = {ksim::datalog_record(0x0001, 9, 0, 0, 0, {2301, 12345})};
    serve(meter, file);

    EXPECT_EQ(read(), 1);

    ASSERT_EQ(sink.texts.size(), 2u);
    EXPECT_EQ(sink.texts[1],
              "{\"type\":\"record\",\"no\":1,\"seq\":9,\"timestamp\":\"1970-01-01T00:00:00.000Z\","
              "\"trigger\":\"SP\",\"values\":[230.1,12.345]}");
}

// "no" counts delivered records from 1, whatever the sequence numbers, duplicates and
// skipped records in between.
TEST_F(ReadDatalog, RunningNumberIgnoresSequenceNumbers) {
    ksim::LogFile file = three_record_file();
    file.records = {ksim::datalog_record(0, 500, 0, 0, 0, {}),
                    ksim::datalog_record(0, 500, 0, 0, 0, {}),  // served again
                    ksim::datalog_record(0x0400, 501, 0, 0, 0, {}),
                    ksim::datalog_record(0x0001, 502, 0, 0, 0, {})};
    file.records_per_block = 10;
    serve(meter, file);

    EXPECT_EQ(read(), 2);

    EXPECT_EQ(
        sink.texts,
        (std::vector<std::string>{
            json_header(4),
            "{\"type\":\"record\",\"no\":1,\"seq\":500,\"timestamp\":\"1970-01-01T00:00:00.000Z\","
            "\"trigger\":\"SP\",\"values\":[]}",
            "{\"type\":\"record\",\"no\":2,\"seq\":502,\"timestamp\":\"1970-01-01T00:00:00.000Z\","
            "\"trigger\":\"SP\",\"values\":[]}"}));
}

// Refusing the header stops before the first record; the block is not acknowledged and
// the header is not sent again.
TEST_F(ReadDatalog, CancelOnHeaderStopsAtOnce) {
    serve(meter, three_record_file());
    sink.stop_at = 1;

    EXPECT_EQ(read(), -2);

    EXPECT_STREQ(err, "Cancelled by caller");
    EXPECT_EQ(sink.texts, std::vector<std::string>{json_header(3)});
    EXPECT_EQ(meter.traffic(),
              concat({traffic_before_blocks(),
                      {"FC16 63120 [11,1,0,0,0,0]", "FC3 63152 8", "FC3 63160 32"}}));
}

TEST_F(ReadDatalog, CancelOnHeaderOfEmptyFile) {
    ksim::LogFile file = three_record_file();
    file.records.clear();
    serve(meter, file);
    sink.stop_at = 1;

    EXPECT_EQ(read(), -2);

    EXPECT_STREQ(err, "Cancelled by caller");
    EXPECT_EQ(sink.texts, std::vector<std::string>{json_header(0)});
}

TEST_F(ReadDatalog, CancelOnSecondRecordKeepsEarlierTexts) {
    serve(meter, three_record_file());
    sink.stop_at = 3;

    EXPECT_EQ(read(), -2);

    EXPECT_EQ(sink.texts,
              (std::vector<std::string>{json_header(3), JSON_RECORDS[0], JSON_RECORDS[1]}));
}

TEST_F(ReadDatalog, FailureMidTransferKeepsDeliveredRecords) {
    serve(meter, three_record_file());
    meter.sim.add_fault(ksim::Fault::exception(4).reads(63160).nth(2));

    EXPECT_EQ(read(), -1);

    EXPECT_STREQ(err, "Modbus exception 4");
    EXPECT_EQ(sink.texts,
              (std::vector<std::string>{json_header(3), JSON_RECORDS[0], JSON_RECORDS[1]}));
}

TEST_F(ReadDatalog, OversizedBlockHeaderFails) {
    ksim::LogFile file = three_record_file();
    file.header_records = 2;
    file.header_words = 1200;
    serve(meter, file);

    EXPECT_EQ(read(), -1);

    EXPECT_STREQ(err,
                 "File 1: block header announces 2 records of 1200 words, more than the meter's "
                 "block window holds");
    EXPECT_TRUE(sink.texts.empty());
    EXPECT_EQ(meter.traffic(),
              concat({traffic_before_blocks(), {"FC16 63120 [11,1,0,0,0,0]", "FC3 63152 8"}}));
}

TEST_F(ReadDatalog, NullCallbackFailsWithoutConnecting) {
    EXPECT_EQ(kolvane_read_datalog("127.0.0.1", "em133", 1, meter.options().c_str(), nullptr,
                                   nullptr, err, sizeof err),
              -1);
    EXPECT_STREQ(err, "cb must not be null");
    EXPECT_EQ(meter.sim.connections_accepted(), 0u);
}

}  // namespace
