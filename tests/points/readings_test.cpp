// SPDX-License-Identifier: MIT
// The readings document: names, units and values of the points read, and what happens to
// points and families the meter refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "readings.hpp"
#include "support/journal.hpp"
#include "support/log_capture.hpp"

namespace {

using ksim::Fault;
using ksim::Model;
using ktest::LogEntry;
using ktest::read_op;
using ktest::without_timestamp;

// A high-resolution em235 (PT ratio 1.0) with energy decimals 2 and three energy register units.
ksim::Meter scaled_em235() {
    ksim::Meter m;
    m.model = Model::em235;
    m.pt_ratio = 10;
    m.energy_decimals = 2;
    m.energy_units = {1, 2, 4};  // kWh, kvarh, m3; entry 3 is refused
    m.present_families = {0x0C00, 0x1100, 0x1500, 0x1700, 0x1780, 0x4780};
    m.points = {{0x1100, 2301}, {0x1103, 12345}, {0x1106, -1500},  {0x110F, -950},
                {0x1502, 5001}, {0x1503, 25},    {0x1700, 123456}, {0x1780, 789},
                {0x4781, 4500}, {0x4782, 12},    {0x1783, 77},     {0x0C21, -7}};
    return m;
}

constexpr const char* SCALED_POINTS =
    R"([4352, 4355, 4358, 4367, "Frequency", "V unbalance", "kWh import", "Energy REG1",
        "Max demand REG2", "Max demand REG3", "Energy REG4", 0x0C21])";

class Readings : public ktest::PointsTest {};

TEST_F(Readings, ScaledAndLabelledDocument) {
    serve(scaled_em235());
    const auto result = read_points("pm335", SCALED_POINTS);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 12);
    EXPECT_EQ(without_timestamp(result.out),
              R"({"meter":"em235","host":"127.0.0.1","timestamp":"T","readings":[)"
              R"({"pid":4352,"name":"V1","value":230.1,"unit":"V"},)"
              R"({"pid":4355,"name":"I1","value":123.45,"unit":"A"},)"
              R"({"pid":4358,"name":"kW L1","value":-1.500,"unit":"kW"},)"
              R"({"pid":4367,"name":"PF L1","value":-0.950,"unit":""},)"
              R"({"pid":5378,"name":"Frequency","value":50.01,"unit":"Hz"},)"
              R"({"pid":5379,"name":"V unbalance","value":2.5,"unit":"%"},)"
              R"({"pid":5888,"name":"kWh import","value":1234.56,"unit":"kWh"},)"
              R"({"pid":6016,"name":"Energy REG1","value":7.89,"unit":"kWh"},)"
              R"({"pid":18305,"name":"Max demand REG2","value":4.500,"unit":"kvar"},)"
              R"({"pid":18306,"name":"Max demand REG3","value":0.012,"unit":"m3"},)"
              R"({"pid":6019,"name":"Energy REG4","value":0.77,"unit":""},)"
              R"j({"pid":3105,"name":"Param_12 (0x0C21)","value":-7,"unit":""}]})j");
}

// The same registers on an em133 without any scaling setup print as whole numbers; the
// unbalance of an em133 is never scaled.
TEST_F(Readings, UnscaledEm133Document) {
    ksim::Meter meter = scaled_em235();
    meter.model = Model::em133;
    meter.pt_ratio.reset();
    meter.energy_decimals.reset();
    meter.energy_units.clear();
    serve(meter);
    const auto result = read_points("em133", R"(4352 "V unbalance" "Energy REG1" 4358)");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(without_timestamp(result.out),
              R"({"meter":"em133","host":"127.0.0.1","timestamp":"T","readings":[)"
              R"({"pid":4352,"name":"V1","value":2301,"unit":"V"},)"
              R"({"pid":5379,"name":"V unbalance","value":25,"unit":"%"},)"
              R"({"pid":6016,"name":"Energy REG1","value":789,"unit":""},)"
              R"({"pid":4358,"name":"kW L1","value":-1500,"unit":"kW"}]})");
}

// The first register of a point is its low half.
TEST_F(Readings, TwoRegistersMakeOneSigned32BitValue) {
    serve().set_registers(13952, {1, 2, 0xFFFE, 0xFFFF, 0, 0x8000, 0xFFFF, 0x7FFF});
    const auto result = read_points("em133", "4352 4353 4354 4355");
    EXPECT_EQ(without_timestamp(result.out),
              R"({"meter":"em133","host":"127.0.0.1","timestamp":"T","readings":[)"
              R"({"pid":4352,"name":"V1","value":131073,"unit":"V"},)"
              R"({"pid":4353,"name":"V2","value":-2,"unit":"V"},)"
              R"({"pid":4354,"name":"V3","value":-2147483648,"unit":"V"},)"
              R"({"pid":4355,"name":"I1","value":2147483647,"unit":"A"}]})");
}

TEST_F(Readings, RepeatedPointsAreReadOnceAndListedEachTime) {
    serve(scaled_em235());
    const auto result = read_points("em235", "4352, 3105, 4352");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(without_timestamp(result.out),
              R"({"meter":"em235","host":"127.0.0.1","timestamp":"T","readings":[)"
              R"({"pid":4352,"name":"V1","value":230.1,"unit":"V"},)"
              R"j({"pid":3105,"name":"Param_2 (0x0C21)","value":-7,"unit":""},)j"
              R"({"pid":4352,"name":"V1","value":230.1,"unit":"V"}]})");
}

// A refused span is read point by point; a point refused on its own is left out, and the
// fallback name counts only the readings written.
TEST_F(Readings, RefusedSpanFallsBackToSinglePoints) {
    ksim::Meter meter = scaled_em235();
    meter.model = Model::em133;
    serve(meter);
    sim().add_fault(Fault::exception(2).reads(13952, 13952 + 33).nth(1));  // the span 0x1100-0x1110
    sim().add_fault(Fault::exception(2).reads(13952 + 32, 13952 + 33));    // 0x1110 alone
    ktest::LogCapture log;
    const auto result = read_points("em133", "0x1110, 0x0C21, 0x1100");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(without_timestamp(result.out),
              R"({"meter":"em133","host":"127.0.0.1","timestamp":"T","readings":[)"
              R"j({"pid":3105,"name":"Param_1 (0x0C21)","value":-7,"unit":""},)j"
              R"({"pid":4352,"name":"V1","value":2301,"unit":"V"}]})");
    EXPECT_EQ(ktest::reads_within(sim(), 13312, 21300),
              (std::vector<ktest::Op>{read_op(13378, 2), read_op(13952, 34), read_op(13984, 2),
                                      read_op(13952, 2)}));
    EXPECT_EQ(log.entries(), (std::vector<LogEntry>{
                                 {3, "Connected to 127.0.0.1:" + std::to_string(port())},
                                 {3,
                                  "Block 1-second phase values span failed (Modbus exception 2), "
                                  "reading points one by one"},
                                 {1, "Point 0x1110 not readable on this meter: Modbus exception 2"},
                             }));
}

TEST_F(Readings, NothingReadableFailsWithTheLastError) {
    serve(Model::em235);
    ktest::LogCapture log;
    const auto result = read_points("em235", "4352 0x1780");
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "No values could be read: Modbus exception 2");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(log.at_level(1), (std::vector<std::string>{
                                   "Point 0x1100 not readable on this meter: Modbus exception 2",
                                   "Point 0x1780 not readable on this meter: Modbus exception 2"}));
    EXPECT_EQ(log.at_level(0),
              std::vector<std::string>{"No values could be read: Modbus exception 2"});
}

TEST_F(Readings, MeterThatStopsAnsweringFailsNamingTheSilence) {
    serve(scaled_em235()).add_fault(Fault::no_reply());
    const std::string opts = options(300);
    const auto result = ktest::call_api([&](char* out, int len, char* err, int err_len) {
        return kolvane_read_points("127.0.0.1", "em235", opts.c_str(), "4352", out, len, err,
                                   err_len);
    });
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.err, "Cannot read the PT ratio (register 46209): " + no_reply(300));
}

TEST_F(Readings, DocumentMustFitTheOutputBuffer) {
    serve(scaled_em235());
    const int length = int(read_points("em235", SCALED_POINTS).out.size());
    const auto too_small = read_points("em235", SCALED_POINTS, length);
    EXPECT_EQ(too_small.status, -1);
    EXPECT_EQ(too_small.err,
              "Output buffer too small: need " + std::to_string(length + 1) + " bytes");
    EXPECT_EQ(too_small.out, "");
    EXPECT_EQ(read_points("em235", SCALED_POINTS, length + 1).status, 12);
}

// The timestamp is the current UTC time, whatever time zone the host process uses.
TEST_F(Readings, TimestampIsCurrentUtc) {
    const char* saved = std::getenv("TZ");
    const std::string saved_tz = saved ? saved : "";
    ::setenv("TZ", "XYZ-5:30", 1);
    ::tzset();
    serve(scaled_em235());
    const std::time_t before = std::time(nullptr);
    const auto result = read_points("em235", "4352");
    const std::time_t after = std::time(nullptr);
    saved ? ::setenv("TZ", saved_tz.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();

    const std::string stamp = ktest::timestamp_of(result.out);
    ASSERT_FALSE(stamp.empty()) << result.out;
    std::tm calendar{};
    ASSERT_NE(::strptime(stamp.c_str(), "%Y-%m-%dT%H:%M:%S", &calendar), nullptr);
    const std::time_t stamped = ::timegm(&calendar);
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, after);
}

}  // namespace
