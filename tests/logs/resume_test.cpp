// SPDX-License-Identifier: MIT
// Resumed log reads (after_seq): only the records newer than the caller's last sequence
// number, reached by a seek that is checked, and the fallbacks when after_seq cannot be
// trusted or the seek does not land; exact traffic and messages.
#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "kolvane.h"
#include "logs/resume.hpp"
#include "support/callbacks.hpp"
#include "support/log_capture.hpp"
#include "support/sim_meter.hpp"
#include "transfer_support.hpp"

using namespace ktest;

namespace {

// `count` records with sequence numbers from `first_seq` on, wrapping at 65536.
std::vector<Record> records_from(uint16_t first_seq, int count) {
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) records.push_back(record(uint16_t(first_seq + i)));
    return records;
}

std::vector<uint16_t> seqs_from(uint16_t first_seq, int count) {
    std::vector<uint16_t> seqs;
    for (int i = 0; i < count; ++i) seqs.push_back(uint16_t(first_seq + i));
    return seqs;
}

std::vector<uint16_t> concat_seqs(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> seek(uint16_t index) {
    return {"FC16 63120 [3,1,0,0," + std::to_string(index) + ",0]"};
}

// Select and File Info variant 0, then `rest`.
std::vector<std::string> prepared(const std::vector<std::string>& rest) {
    return concat({{"FC16 63120 [5,1,0,0]"}, file_info_exchange(1, 0), rest});
}

// Prepares file 1 and reads it after `after_seq`, as the record streams do.
// The log most cases read: sequence numbers 1000-1019, 8 records per block, start index 100.
ksim::LogFile twenty_records() {
    ksim::LogFile file = log_file(records_from(1000, 20), 8);
    file.start_index = 100;
    return file;
}

int read_after(SimMeter& meter, std::optional<uint16_t> after_seq, Collected& got,
               std::optional<int64_t> after_time_ms = std::nullopt) {
    auto client = meter.connect();
    const kolvane::LogReadStart start = kolvane::prepare_log_transfer(*client, 1);
    return kolvane::read_log_file_after(*client, 1, start, after_seq, got.consumer(),
                                        after_time_ms);
}

const LogEntry ANNOUNCED_20 = {2, "File 1: 20 records"};

// 2,880 records read in full, 5 appended, then a read after the last one held: one seek
// past the 2,880 and exactly the 5 new records.
TEST(ResumedRead, AfterAppendDeliversOnlyTheNewRecordsWithOneSeek) {
    SimMeter meter;
    ksim::LogFile file = log_file(records_from(1000, 2880), 8);
    file.start_index = 100;
    meter.sim.set_log(1, file);
    Collected before;
    ASSERT_EQ(read_after(meter, std::nullopt, before), 2880);
    ASSERT_EQ(before.records.back()[1], 3879);

    meter.sim.update_log(1, [](ksim::LogFile& f) {
        for (Record& r : records_from(3880, 5)) f.records.push_back(r);
    });
    Collected got;
    LogCapture log;

    EXPECT_EQ(read_after(meter, uint16_t(3879), got), 5);

    EXPECT_EQ(got.seqs(), seqs_from(3880, 5));
    // The read position stands at the end: the prepare seeks to the start, the resume past
    // the 2,880 records already held.
    EXPECT_EQ(meter.traffic(),
              prepared(concat({seek(100), block(1, 80), ACK, seek(2980), block(1, 50), ACK})));
    EXPECT_EQ(without_debug(log), (std::vector<LogEntry>{{2, "File 1: 2885 records"}}));
}

// A log of 20 records (sequence numbers 1000-1019, 8 per block, start index 100) read after
// different sequence numbers inside it: no warning, the new records only.
TEST(ResumedRead, SkipsByBlockOrBySeekWithinTheLog) {
    struct Case {
        const char* what;
        uint16_t after_seq;
        std::vector<uint16_t> seqs;
        std::vector<std::string> blocks;
    };
    const Case cases[] = {
        {"near the end: seek", 1016, seqs_from(1017, 3),
         concat({block(1, 80), ACK, seek(117), block(1, 30), ACK})},
        {"at a block boundary: seek", 1007, seqs_from(1008, 12),
         concat({block(1, 80), ACK, seek(108), block(1, 80), ACK, block(1, 40), ACK})},
        {"inside the first block: no seek", 1003, seqs_from(1004, 16),
         concat({block(1, 80), ACK, block(1, 80), ACK, block(1, 40), ACK})},
        {"just before the oldest: everything", 999, seqs_from(1000, 20),
         concat({block(1, 80), ACK, block(1, 80), ACK, block(1, 40), ACK})},
        {"the newest: nothing", 1019, {}, concat({block(1, 80), ACK})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        meter.sim.set_log(1, twenty_records());
        Collected got;
        LogCapture log;

        EXPECT_EQ(read_after(meter, c.after_seq, got), int(c.seqs.size()));

        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(meter.traffic(), prepared(c.blocks));
        EXPECT_EQ(without_debug(log), std::vector<LogEntry>{ANNOUNCED_20});
    }
}

// Sequence numbers 65530..65535, 0, 1, ... (4 per block): the distance to skip and the
// newness of the records count modulo 65536.
TEST(ResumedRead, SequenceNumbersWrapThrough65535) {
    struct Case {
        uint16_t after_seq;
        std::vector<uint16_t> seqs;
        std::vector<std::string> blocks;
    };
    const Case cases[] = {
        {65535, seqs_from(0, 10),
         concat({block(1, 40), ACK, seek(6), block(1, 40), ACK, block(1, 40), ACK, block(1, 20),
                 ACK})},
        {1, seqs_from(2, 8),
         concat({block(1, 40), ACK, seek(8), block(1, 40), ACK, block(1, 40), ACK})},
        {65531, seqs_from(65532, 14),
         concat({block(1, 40), ACK, block(1, 40), ACK, block(1, 40), ACK, block(1, 40), ACK})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after_seq);
        SimMeter meter;
        meter.sim.set_log(1, log_file(records_from(65530, 16), 4));
        Collected got;

        EXPECT_EQ(read_after(meter, c.after_seq, got), int(c.seqs.size()));

        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(meter.traffic(), prepared(c.blocks));
    }
}

// An after_seq outside oldest - 1 .. newest cannot be trusted: the whole log is read, as
// without after_seq, with a warning that names the log's range.
TEST(ResumedRead, UntrustedAfterSeqReadsItAllWithWarning) {
    struct Case {
        const char* what;
        uint16_t first_seq, after_seq;
        std::string warning;
    };
    const Case cases[] = {
        {"cleared log: numbers restarted", 1, 3879,
         "File 1: after_seq 3879 is not in the log (sequence numbers 1-20): reading it all"},
        {"overwritten: after_seq older than the oldest", 1000, 990,
         "File 1: after_seq 990 is not in the log (sequence numbers 1000-1019): reading it all"},
        {"wrapped range", 65530, 20,
         "File 1: after_seq 20 is not in the log (sequence numbers 65530-13): reading it all"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        meter.sim.set_log(1, log_file(records_from(c.first_seq, 20), 8));
        Collected got;
        LogCapture log;

        EXPECT_EQ(read_after(meter, c.after_seq, got), 20);

        EXPECT_EQ(got.seqs(), seqs_from(c.first_seq, 20));
        EXPECT_EQ(meter.traffic(),
                  prepared(concat({block(1, 80), ACK, block(1, 80), ACK, block(1, 40), ACK})));
        EXPECT_EQ(without_debug(log), (std::vector<LogEntry>{ANNOUNCED_20, {1, c.warning}}));
    }
}

// A meter whose seek index is not a record position: the seek is found out, the read starts
// over and passes over the older records (two whole blocks of them here, which must not count
// as a stalled meter), so exactly the new records arrive.
TEST(ResumedRead, SeekThatDoesNotLandFallsBackToReadingFromTheStart) {
    struct Case {
        uint16_t offset, after_seq;
        std::vector<uint16_t> seqs;
        std::vector<std::string> blocks;
        std::string info;
    };
    const Case cases[] = {
        {1, 1016, seqs_from(1017, 3),
         concat({block(1, 80), ACK, seek(117), block(1, 20), seek(100), block(1, 80), ACK,
                 block(1, 80), ACK, block(1, 30), ACK}),
         "File 1: seek to index 117 found sequence number 1018, not 1017: reading from the start"},
        {5, 1016, seqs_from(1017, 3),
         concat({block(1, 80), ACK, seek(117), empty_block(1), seek(100), block(1, 80), ACK,
                 block(1, 70), ACK}),
         "File 1: seek to index 117 found no record, not 1017: reading from the start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        SimMeter meter;
        ksim::LogFile file = twenty_records();
        file.seek_index_offset = c.offset;
        meter.sim.set_log(1, file);
        Collected got;
        LogCapture log;

        EXPECT_EQ(read_after(meter, c.after_seq, got), int(c.seqs.size()));

        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(meter.traffic(), prepared(c.blocks));
        EXPECT_EQ(without_debug(log), (std::vector<LogEntry>{ANNOUNCED_20, {2, c.info}}));
    }
}

// Without a record count there is no range to check and nothing to seek to: the records not
// newer than after_seq are passed over as they come.
TEST(ResumedRead, UnknownRecordCountPassesOverOlderRecords) {
    SimMeter meter;
    ksim::LogFile file = log_file(records_from(1000, 20), 8);
    file.var0_refusal = {2, false};
    meter.sim.set_log(1, file);
    Collected got;

    EXPECT_EQ(read_after(meter, uint16_t(1016), got), 3);

    EXPECT_EQ(got.seqs(), seqs_from(1017, 3));
    EXPECT_EQ(meter.traffic(), prepared(concat({block(1, 80), ACK, block(1, 80), ACK, block(1, 40),
                                                ACK, empty_block(1), ACK, empty_block(1)})));
}

// A resumed read never passes a short read off as complete: a meter that serves fewer records
// than it announces, or nothing in its first block, is read from the start; a read still short
// then fails, the records delivered kept. A seek that lands elsewhere is no restarted log: the
// read passes over the older records from the start and checks the caller's record on the way.
TEST(ResumedRead, ShortReadsAreReadWholeAndFailWhenStillShort) {
    const auto stamp = [](uint16_t seq) { return (1700000000LL + seq) * 1000; };
    struct Case {
        const char* what;
        std::optional<int> info_records, empty_at;
        uint16_t offset, after_seq;
        std::optional<int64_t> after_time_ms;
        std::vector<uint16_t> seqs;
        std::vector<LogEntry> log;
        std::string failure;
    };
    const Case cases[] = {
        {"announces more than it serves",
         24,
         {},
         0,
         1016,
         {},
         concat_seqs(seqs_from(1017, 3), seqs_from(1000, 20)),
         {{2, "File 1: 24 records"},
          {1, "File 1: 3 records read of 7 announced after sequence number 1016: reading it all"}},
         "File 1: 20 records read of 24 announced"},
        {"first block empty",
         {},
         0,
         0,
         1016,
         stamp(1016),
         seqs_from(1000, 20),
         {ANNOUNCED_20,
          {1, "File 1: the first block holds no record of the 20 announced: reading it all"}},
         ""},
        {"seek lands three records on",
         {},
         {},
         3,
         1012,
         stamp(1012),
         seqs_from(1013, 7),
         {ANNOUNCED_20,
          {2,
           "File 1: seek to index 112 found sequence number 1015, not 1012: reading from the "
           "start"}},
         ""},
        {"seek lands on, and the log started again",
         {},
         {},
         3,
         1012,
         stamp(1011),
         seqs_from(1003, 17),
         {ANNOUNCED_20,
          {2,
           "File 1: seek to index 112 found sequence number 1015, not 1012: reading from the "
           "start"},
          {1, "File 1: record 1012 is not the one held: the log started again; reading it all"}},
         "File 1: 17 records read of 20 announced"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        ksim::LogFile file = twenty_records();
        if (c.info_records) file.info_records = uint16_t(*c.info_records);
        if (c.empty_at) file.empty_at = std::size_t(*c.empty_at), file.empty_count = 2;
        file.seek_index_offset = c.offset;
        meter.sim.set_log(1, file);
        Collected got;
        LogCapture log;

        std::string failure;
        try {
            read_after(meter, c.after_seq, got, c.after_time_ms);
        } catch (const std::exception& e) {
            failure = e.what();
        }

        EXPECT_EQ(failure, c.failure);
        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(without_debug(log), c.log);
    }
}

// ---------------------------------------------------------------- through the C interface

using Operation = int (*)(const char*, const char*, int, const char*, kolvane_record_cb, void*,
                          char*, int);

struct Stream {
    const char* name;
    Operation operation;
};
const Stream STREAMS[] = {{"datalog", &kolvane_read_datalog}, {"eventlog", &kolvane_read_eventlog}};

std::string with_after_seq(const SimMeter& meter, const std::string& value) {
    std::string options = meter.options();
    options.insert(options.size() - 1, ",\"after_seq\":" + value);
    return options;
}

// The "no" and "seq" members of each record text, as "no:seq".
std::vector<std::string> numbers(const std::vector<std::string>& texts) {
    static const std::regex pattern(R"re("no":(\d+),"seq":(\d+))re");
    std::vector<std::string> found;
    std::smatch match;
    for (const std::string& text : texts) {
        if (std::regex_search(text, match, pattern))
            found.push_back(match[1].str() + ":" + match[2].str());
    }
    return found;
}

TEST(ResumedStream, OptionsAfterSeqDeliversNewRecordsNumberedFromOne) {
    for (const Stream& stream : STREAMS) {
        SCOPED_TRACE(stream.name);
        SimMeter meter;
        meter.sim.set_log(1, log_file(records_from(65530, 16), 4));
        RecordSink sink;
        char err[256] = "untouched";

        EXPECT_EQ(stream.operation("127.0.0.1", "em133", 1, with_after_seq(meter, "65535").c_str(),
                                   &RecordSink::receive, &sink, err, sizeof err),
                  10);

        EXPECT_STREQ(err, "");
        ASSERT_FALSE(sink.texts.empty());
        EXPECT_NE(sink.texts.front().find("\"total\":16"), std::string::npos);
        EXPECT_EQ(numbers(sink.texts),
                  (std::vector<std::string>{"1:0", "2:1", "3:2", "4:3", "5:4", "6:5", "7:6", "8:7",
                                            "9:8", "10:9"}));
        EXPECT_TRUE(any_request(meter.sim, "FC16 63120 [3,1,0,0,6,0]"));
    }
}

TEST(ResumedStream, BadAfterSeqIsAnOptionsErrorBeforeAnyTraffic) {
    const char* const values[] = {
        "-1", "65536", "99999999999999999999", "\"12\"", "12.5", "1e3", "true", "null", "[1]", ""};
    for (const Stream& stream : STREAMS) {
        for (const char* value : values) {
            SCOPED_TRACE(std::string(stream.name) + " after_seq " + value);
            SimMeter meter;
            meter.sim.set_log(1, log_file(records_from(1, 3), 4));
            RecordSink sink;
            char err[256] = "untouched";

            EXPECT_EQ(
                stream.operation("127.0.0.1", "em133", 1, with_after_seq(meter, value).c_str(),
                                 &RecordSink::receive, &sink, err, sizeof err),
                KOLVANE_ERROR);

            EXPECT_STREQ(err, "options.after_seq must be 0-65535");
            EXPECT_TRUE(sink.texts.empty());
            EXPECT_EQ(meter.sim.connections_accepted(), 0u);
        }
    }
}

}  // namespace

namespace {

// With the stamp of the caller's record, the meter's record under after_seq must carry it: a
// log that started again under the same numbers is read whole, with a warning naming why.
TEST(ResumedRead, TheRecordAtTheAnchorMustBeTheOneHeld) {
    // record() stamps sequence number s at 1700000000 + s seconds.
    const auto stamp = [](uint16_t seq) { return (1700000000LL + seq) * 1000; };
    struct Case {
        const char* what;
        uint16_t after_seq;
        int64_t after_time_ms;
        std::vector<uint16_t> seqs;
        std::vector<std::string> blocks;
        bool warned;
    };
    const std::vector<std::string> whole =
        concat({ACK, seek(100), block(1, 80), ACK, block(1, 80), ACK, block(1, 40), ACK});
    const Case cases[] = {
        {"in the first block, held", 1003, stamp(1003), seqs_from(1004, 16),
         concat({block(1, 80), ACK, block(1, 80), ACK, block(1, 40), ACK}), false},
        {"in the first block, another record", 1003, stamp(1003) + 1, seqs_from(1000, 20),
         concat({block(1, 80), whole}), true},
        {"after a seek, held", 1012, stamp(1012), seqs_from(1013, 7),
         concat({block(1, 80), ACK, seek(112), block(1, 80), ACK}), false},
        {"after a seek, another record", 1012, stamp(1011), seqs_from(1000, 20),
         concat({block(1, 80), ACK, seek(112), block(1, 80), whole}), true},
        {"the newest, held",
         1019,
         stamp(1019),
         {},
         concat({block(1, 80), ACK, seek(119), block(1, 10), ACK}),
         false},
        {"the newest, another record", 1019, 0, seqs_from(1000, 20),
         concat({block(1, 80), ACK, seek(119), block(1, 10), whole}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        meter.sim.set_log(1, twenty_records());
        Collected got;
        LogCapture log;

        EXPECT_EQ(read_after(meter, c.after_seq, got, c.after_time_ms), int(c.seqs.size()));

        EXPECT_EQ(got.seqs(), c.seqs);
        EXPECT_EQ(meter.traffic(), prepared(c.blocks));
        const std::vector<std::string> warnings = log.at_level(KOLVANE_LOG_WARNING);
        ASSERT_EQ(warnings.size(), c.warned ? 1u : 0u);
        if (c.warned) {
            EXPECT_TRUE(warnings[0].starts_with("File 1: record " + std::to_string(c.after_seq) +
                                                " is not the one held ("))
                << warnings[0];
            EXPECT_TRUE(warnings[0].ends_with("): the log started again; reading it all"))
                << warnings[0];
        }
    }
}

}  // namespace
