// SPDX-License-Identifier: MIT
// The event log as a stream of JSON records through the caller's record callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "event_meter.hpp"
#include "kolvane.h"
#include "support/event_sample.hpp"
#include "support/journal.hpp"
#include "support/log_capture.hpp"

namespace {

using ktest::EventMeterTest;
using ktest::RecordSink;
using ktest::sample_event_json;
using ktest::sample_event_log;

using EventStream = EventMeterTest;

// The requests that come before any block is asked for: select file 0, File Info variant 0.
const std::vector<std::string> PREPARE_TRAFFIC = {
    "FC16 63120 [5,0,0,0]", "FC16 64944 [9,0,0,0,0,0,0,0]", "FC3 64952 8", "FC3 64960 14"};

std::vector<std::string> header_then_sample(const std::string& header) {
    std::vector<std::string> expected = {header};
    expected.insert(expected.end(), sample_event_json().begin(), sample_event_json().end());
    return expected;
}

TEST_F(EventStream, DeliversTheHeaderThenOneRecordPerEvent) {
    sim.set_log(0, sample_event_log());
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              4);
    EXPECT_STREQ(err, "");
    EXPECT_EQ(sink.texts,
              header_then_sample(
                  R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":4})"));
}

TEST_F(EventStream, UnknownRecordCountIsMinusOneAndTheTransferStillRuns) {
    ksim::LogFile log = sample_event_log();
    log.var0_refusal.code = 2;
    sim.set_log(0, log);
    ktest::LogCapture logs;
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              4);
    EXPECT_EQ(
        sink.texts,
        header_then_sample(
            R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":-1})"));
    const std::vector<std::string> messages = logs.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "1 File 0: File Info unavailable, record count unknown"),
              messages.end());
}

TEST_F(EventStream, EmptyLogGivesOnlyTheHeaderAndAsksForNoBlock) {
    ksim::LogFile log = sample_event_log();
    log.info_records = 0;  // the meter reports 0 records although it holds some
    sim.set_log(0, log);
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              0);
    EXPECT_EQ(sink.texts,
              std::vector<std::string>{
                  R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":0})"});
    EXPECT_EQ(ktest::traffic(sim), PREPARE_TRAFFIC);
}

TEST_F(EventStream, CancelOnTheHeaderStopsBeforeAnyBlockIsRequested) {
    sim.set_log(0, sample_event_log());
    RecordSink sink{{}, 1};
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              -2);
    EXPECT_STREQ(err, "Cancelled by caller");
    EXPECT_EQ(sink.texts.size(), 1u);
    EXPECT_EQ(ktest::traffic(sim), PREPARE_TRAFFIC);
}

TEST_F(EventStream, CancelOnARecordKeepsWhatWasDelivered) {
    sim.set_log(0, sample_event_log());
    RecordSink sink{{}, 3};
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 0, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              -2);
    EXPECT_STREQ(err, "Cancelled by caller");
    ASSERT_EQ(sink.texts.size(), 3u);
    EXPECT_EQ(sink.texts[2], sample_event_json()[1]);
    // The block in progress is not acknowledged.
    EXPECT_FALSE(ktest::any_request(sim, "FC6 63120 [1]"));
}

TEST_F(EventStream, AnyFileIdIsReadWithTheEventLayout) {
    sim.set_log(5, sample_event_log());
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", "em133", 5, options.c_str(), &RecordSink::receive,
                                    &sink, err, sizeof err),
              4);
    EXPECT_EQ(sink.texts,
              header_then_sample(
                  R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":5,"total":4})"));
}

struct ModelCase {
    const char* given;
    const char* header;
};

class EventStreamModel : public EventMeterTest, public testing::WithParamInterface<ModelCase> {};

TEST_P(EventStreamModel, HeaderNamesTheCanonicalModel) {
    ksim::LogFile log;
    log.info_records = 0;
    sim.set_log(0, log);
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog("127.0.0.1", GetParam().given, 0, options.c_str(),
                                    &RecordSink::receive, &sink, err, sizeof err),
              0);
    EXPECT_EQ(sink.texts, std::vector<std::string>{GetParam().header});
}

INSTANTIATE_TEST_SUITE_P(
    Names, EventStreamModel,
    testing::Values(
        ModelCase{"EM133",
                  R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":0})"},
        ModelCase{"em235",
                  R"({"type":"header","meter":"em235","host":"127.0.0.1","file_id":0,"total":0})"},
        ModelCase{
            "Pm335",
            R"({"type":"header","meter":"em235","host":"127.0.0.1","file_id":0,"total":0})"}));

struct ArgumentCase {
    const char* host;
    const char* meter;
    const char* options;
    bool with_callback;
    const char* message;
};

class EventStreamArguments : public EventMeterTest,
                             public testing::WithParamInterface<ArgumentCase> {};

TEST_P(EventStreamArguments, FailBeforeConnecting) {
    const ArgumentCase& c = GetParam();
    RecordSink sink;
    EXPECT_EQ(kolvane_read_eventlog(c.host, c.meter, 0, c.options,
                                    c.with_callback ? &RecordSink::receive : nullptr, &sink, err,
                                    sizeof err),
              -1);
    EXPECT_STREQ(err, c.message);
    EXPECT_EQ(sim.connections_accepted(), 0u);
    EXPECT_TRUE(sink.texts.empty());
}

// Null pointers first (host, meter, cb), then the options, then the model.
INSTANTIATE_TEST_SUITE_P(
    InOrder, EventStreamArguments,
    testing::Values(
        ArgumentCase{nullptr, nullptr, "{\"port\":0}", false, "host must not be null"},
        ArgumentCase{"127.0.0.1", nullptr, "{\"port\":0}", false, "meter must not be null"},
        ArgumentCase{"127.0.0.1", "em-133", "{\"port\":0}", false, "cb must not be null"},
        ArgumentCase{"127.0.0.1", "em-133", "{\"port\":0}", true, "options.port must be 1-65535"},
        ArgumentCase{"127.0.0.1", "em-133", "{\"port\":1}", true,
                     "Unknown meter model 'em-133' (expected em133 or em235)"}));

}  // namespace
