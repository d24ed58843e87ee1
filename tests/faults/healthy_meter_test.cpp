// SPDX-License-Identifier: MIT
// The fixture meter without faults: what each operation hands back in full. These are the
// references for the texts a faulted call must keep and for the call after the fault.
#include <gtest/gtest.h>

#include "fault_check.hpp"

namespace kfault {
namespace {

using Texts = std::vector<std::string>;

const Texts DATALOG_STREAM = {
    R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":1,"total":6,"columns":[{"name":"V1","unit":"V","decimals":1},{"name":"Total kW","unit":"kW","decimals":3}]})",
    R"({"type":"record","no":1,"seq":101,"timestamp":"2023-11-14T22:13:20.000Z","trigger":"SP","values":[230.1,12.345]})",
    R"({"type":"record","no":2,"seq":102,"timestamp":"2023-11-14T22:28:20.000Z","trigger":"SP","values":[230.2,12.346]})",
    R"({"type":"record","no":3,"seq":103,"timestamp":"2023-11-14T22:43:20.000Z","trigger":"SP","values":[230.3,12.347]})",
    R"({"type":"record","no":4,"seq":104,"timestamp":"2023-11-14T22:58:20.000Z","trigger":"SP","values":[230.4,12.348]})",
    R"({"type":"record","no":5,"seq":105,"timestamp":"2023-11-14T23:13:20.000Z","trigger":"SP","values":[230.5,12.349]})",
    R"({"type":"record","no":6,"seq":106,"timestamp":"2023-11-14T23:28:20.000Z","trigger":"SP","values":[230.6,12.350]})",
};

const Texts DATALOG_CSV = {
    "No.,Date/Time,Trigger,V1 (V),Total kW (kW)\n", "1,14/11/23  22:13:20.000,SP,230.1,12.345\n",
    "2,14/11/23  22:28:20.000,SP,230.2,12.346\n",   "3,14/11/23  22:43:20.000,SP,230.3,12.347\n",
    "4,14/11/23  22:58:20.000,SP,230.4,12.348\n",   "5,14/11/23  23:13:20.000,SP,230.5,12.349\n",
    "6,14/11/23  23:28:20.000,SP,230.6,12.350\n",
};

const Texts EVENTLOG_STREAM = {
    R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":0,"total":6})",
    R"({"type":"record","no":1,"seq":201,"timestamp":"2023-11-14T22:13:20.250Z","event_no":1,"cause":"EXTERNAL","point":"Power down","state":"","effect":"","target":"","source_id":25344,"effect_id":0,"value_triggered":0})",
    R"({"type":"record","no":2,"seq":202,"timestamp":"2023-11-14T22:14:20.250Z","event_no":2,"cause":"EXTERNAL","point":"Power up","state":"","effect":"","target":"","source_id":25352,"effect_id":0,"value_triggered":0})",
    R"({"type":"record","no":3,"seq":203,"timestamp":"2023-11-14T22:15:20.250Z","event_no":3,"cause":"EXTERNAL","point":"Power down","state":"","effect":"","target":"","source_id":25344,"effect_id":0,"value_triggered":0})",
    R"({"type":"record","no":4,"seq":204,"timestamp":"2023-11-14T22:16:20.250Z","event_no":4,"cause":"EXTERNAL","point":"Power up","state":"","effect":"","target":"","source_id":25352,"effect_id":0,"value_triggered":0})",
    R"({"type":"record","no":5,"seq":205,"timestamp":"2023-11-14T22:17:20.250Z","event_no":5,"cause":"EXTERNAL","point":"Power down","state":"","effect":"","target":"","source_id":25344,"effect_id":0,"value_triggered":0})",
    R"({"type":"record","no":6,"seq":206,"timestamp":"2023-11-14T22:18:20.250Z","event_no":6,"cause":"EXTERNAL","point":"Power up","state":"","effect":"","target":"","source_id":25352,"effect_id":0,"value_triggered":0})",
};

const Texts EVENTLOG_CSV = {
    "No.,Date/Time,Event No.,Cause,Point/Source,State,Effect,Target,Source ID,Effect ID,Value "
    "Triggered\n",
    "1,14/11/23  22:13:20.250,1,EXTERNAL,Power down,,,,25344,0,0\n",
    "2,14/11/23  22:14:20.250,2,EXTERNAL,Power up,,,,25352,0,0\n",
    "3,14/11/23  22:15:20.250,3,EXTERNAL,Power down,,,,25344,0,0\n",
    "4,14/11/23  22:16:20.250,4,EXTERNAL,Power up,,,,25352,0,0\n",
    "5,14/11/23  22:17:20.250,5,EXTERNAL,Power down,,,,25344,0,0\n",
    "6,14/11/23  22:18:20.250,6,EXTERNAL,Power up,,,,25352,0,0\n",
};

TEST(HealthyMeter, DocumentsInFull) {
    EXPECT_EQ(healthy(Op::device_info).status, 242);
    EXPECT_EQ(
        healthy(Op::device_info).texts,
        Texts{
            R"({"meter":"em133","host":"127.0.0.1","model_name":"EM133","model_id":133,"serial":1201784,"options":0,"firmware":{"version":3,"build":12},"bootloader":{"version":1,"build":4},"setup":{"pt_ratio":1.0,"energy_decimals":2,"high_resolution":true}})"});
    EXPECT_EQ(healthy(Op::list_logs).status, 2);
    EXPECT_EQ(
        healthy(Op::list_logs).texts,
        Texts{
            R"({"meter":"em133","host":"127.0.0.1","logs":[{"file_id":0,"type":"eventlog","records":6},{"file_id":1,"type":"datalog","records":6,"columns":[{"name":"V1","unit":"V","decimals":1},{"name":"Total kW","unit":"kW","decimals":3}]}]})"});
}

// The live set of an em133 holds 55 readings; its ends and the points set on the meter show
// the scaling at work.
TEST(HealthyMeter, LiveReadings) {
    const Outcome& live = healthy(Op::live);
    EXPECT_EQ(live.status, 55);
    ASSERT_EQ(live.texts.size(), 1u);
    const std::string& doc = live.texts[0];
    EXPECT_EQ(
        doc.rfind(
            R"({"meter":"em133","host":"127.0.0.1","timestamp":"*","readings":[{"pid":4352,"name":"V1","value":230.1,"unit":"V"},)",
            0),
        0u)
        << doc;
    EXPECT_NE(doc.find(R"({"pid":5120,"name":"Total kW","value":12.345,"unit":"kW"})"),
              std::string::npos);
    EXPECT_NE(doc.find(R"({"pid":5378,"name":"Frequency","value":50.00,"unit":"Hz"})"),
              std::string::npos);
    const std::string end = R"({"pid":5896,"name":"kVAh total","value":1234.56,"unit":"kVAh"}]})";
    EXPECT_EQ(doc.substr(doc.size() - std::min(doc.size(), end.size())), end);
}

TEST(HealthyMeter, LogsInFull) {
    const struct {
        Op op;
        const Texts& texts;
    } cases[] = {{Op::datalog_stream, DATALOG_STREAM},
                 {Op::datalog_csv, DATALOG_CSV},
                 {Op::eventlog_stream, EVENTLOG_STREAM},
                 {Op::eventlog_csv, EVENTLOG_CSV}};
    for (const auto& c : cases) {
        SCOPED_TRACE(op_name(c.op));
        EXPECT_EQ(healthy(c.op).status, 6);
        EXPECT_EQ(healthy(c.op).err, "");
        EXPECT_EQ(healthy(c.op).texts, c.texts);
    }
}

}  // namespace
}  // namespace kfault
