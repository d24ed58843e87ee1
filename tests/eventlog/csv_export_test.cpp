// SPDX-License-Identifier: MIT
// The event log as a CSV file, with progress, cancellation and the file left by failures.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "event_meter.hpp"
#include "ground/text.hpp"
#include "kolvane.h"
#include "support/event_sample.hpp"
#include "support/files.hpp"
#include "support/journal.hpp"
#include "support/temp_dir.hpp"

namespace {

using ktest::EVENT_CSV_HEADER;
using ktest::ProgressSink;
using ktest::read_file;
using ktest::sample_event_csv;
using ktest::sample_event_log;

class EventCsv : public ktest::EventMeterTest {
protected:
    int export_events(ProgressSink* progress = nullptr) {
        return kolvane_export_eventlog_ex("127.0.0.1", "em133", 0, path.c_str(), options.c_str(),
                                          progress ? &ProgressSink::receive : nullptr, progress,
                                          err, sizeof err);
    }

    ktest::TempDir dir;
    std::string path = dir.file("events.csv");
};

using Progress = std::vector<std::pair<int, int>>;

TEST_F(EventCsv, WritesTheHeaderAndOneRowPerEvent) {
    sim.set_log(0, sample_event_log());
    ProgressSink progress;
    EXPECT_EQ(export_events(&progress), 4);
    EXPECT_STREQ(err, "");
    EXPECT_EQ(read_file(path), sample_event_csv());
    EXPECT_EQ(progress.calls, (Progress{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST_F(EventCsv, UnknownRecordCountReachesTheProgressCallbackAsMinusOne) {
    ksim::LogFile log = sample_event_log();
    log.var0_refusal.code = 2;
    sim.set_log(0, log);
    ProgressSink progress;
    EXPECT_EQ(export_events(&progress), 4);
    EXPECT_EQ(read_file(path), sample_event_csv());
    EXPECT_EQ(progress.calls, (Progress{{1, -1}, {2, -1}, {3, -1}, {4, -1}}));
}

TEST_F(EventCsv, EmptyLogWritesOnlyTheHeaderLine) {
    ksim::LogFile log = sample_event_log();
    log.info_records = 0;
    sim.set_log(0, log);
    ProgressSink progress;
    EXPECT_EQ(export_events(&progress), 0);
    EXPECT_EQ(read_file(path), EVENT_CSV_HEADER);
    EXPECT_TRUE(progress.calls.empty());
}

TEST_F(EventCsv, ProgressCancelKeepsTheRowsWrittenSoFar) {
    sim.set_log(0, sample_event_log());
    ProgressSink progress{{}, 2};
    EXPECT_EQ(export_events(&progress), -2);
    EXPECT_STREQ(err, "Cancelled by caller");
    EXPECT_EQ(read_file(path),
              EVENT_CSV_HEADER +
                  "1,14/11/23  22:13:20.123,7,SP EVENT,,,SP operated,#2,0,57601,0\n"
                  "2,14/11/23  22:13:21.005,8,SP ACTION,SP1,,Reset billing summary and TOU "
                  "maximum demands,#1,23040,25344,-5\n");
}

struct FailureCase {
    const char* what;
    ksim::Fault fault;
    const char* message;
};

class EventCsvFailure : public EventCsv, public testing::WithParamInterface<FailureCase> {};

// The header line is written before the record count is asked for.
TEST_P(EventCsvFailure, AfterOpeningLeavesOnlyTheHeaderLine) {
    sim.set_log(0, sample_event_log());
    sim.add_fault(GetParam().fault);
    EXPECT_EQ(export_events(), -1) << GetParam().what;
    EXPECT_STREQ(err, GetParam().message);
    EXPECT_EQ(read_file(path), EVENT_CSV_HEADER);
}

INSTANTIATE_TEST_SUITE_P(
    Meter, EventCsvFailure,
    testing::Values(FailureCase{"select refused",
                                ksim::Fault::exception(4).writes(ksim::TRANSFER_REQUEST).nth(1),
                                "Modbus exception 4"},
                    FailureCase{"block header refused",
                                ksim::Fault::exception(2).reads(ksim::BLOCK_HEADER),
                                "Modbus exception 2"}));

TEST_F(EventCsv, UnopenableFileFailsAfterConnectingWithoutTraffic) {
    sim.set_log(0, sample_event_log());
    path = dir.file("missing/events.csv");
    EXPECT_EQ(export_events(), -1);
    EXPECT_EQ(std::string(err), "Cannot open CSV: " + path);
    EXPECT_TRUE(sim.wait_for_connections(1));
    EXPECT_TRUE(ktest::traffic(sim).empty());
}

struct ArgumentCase {
    const char* host;
    const char* meter;
    bool with_path;
    const char* options;
    const char* message;
};

class EventCsvArguments : public EventCsv, public testing::WithParamInterface<ArgumentCase> {};

TEST_P(EventCsvArguments, FailBeforeConnectingAndCreateNoFile) {
    const ArgumentCase& c = GetParam();
    EXPECT_EQ(kolvane_export_eventlog_ex(c.host, c.meter, 0, c.with_path ? path.c_str() : nullptr,
                                         c.options, nullptr, nullptr, err, sizeof err),
              -1);
    EXPECT_STREQ(err, c.message);
    EXPECT_EQ(sim.connections_accepted(), 0u);
    EXPECT_EQ(read_file(path), std::nullopt);
}

// Null pointers first (host, meter, csv_path), then the model, then the options.
INSTANTIATE_TEST_SUITE_P(
    InOrder, EventCsvArguments,
    testing::Values(
        ArgumentCase{nullptr, nullptr, false, "{\"port\":0}", "host must not be null"},
        ArgumentCase{"127.0.0.1", nullptr, false, "{\"port\":0}", "meter must not be null"},
        ArgumentCase{"127.0.0.1", "em-133", false, "{\"port\":0}", "csv_path must not be null"},
        ArgumentCase{"127.0.0.1", "em-133", true, "{\"port\":0}",
                     "Unknown meter model 'em-133' (expected em133 or em235)"},
        ArgumentCase{"127.0.0.1", "PM335", true, "{\"port\":0}", "options.port must be 1-65535"}));

// The five texts go through CSV quoting; none of the meter's texts needs it, a comma would.
TEST(EventCsvQuoting, QuotesOnlyTextsThatNeedIt) {
    EXPECT_EQ(kolvane::csv_quote("Reset billing summary and TOU maximum demands"),
              "Reset billing summary and TOU maximum demands");
    EXPECT_EQ(kolvane::csv_quote(""), "");
    EXPECT_EQ(kolvane::csv_quote("SP1,SP2"), "\"SP1,SP2\"");
    EXPECT_EQ(kolvane::csv_quote("say \"on\""), "\"say \"\"on\"\"\"");
}

}  // namespace
