// SPDX-License-Identifier: MIT
// Faults an operation rides out: stale, slow and late replies give the full result; refused
// or lost reads the operation can do without give the degraded result, exactly.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "aim.hpp"
#include "fault_check.hpp"
#include "support/log_capture.hpp"

namespace kfault {
namespace {

using ksim::Fault;
using Texts = std::vector<std::string>;

struct Slow {
    std::string what;
    Fault action;
    Aim aim;
    int waits;
};

// A stale frame is read whole and dropped; a slow reply is waited for byte by byte, each byte
// within the time limit even when the whole reply takes longer.
TEST(ToleratedFaults, LateAndSlowRepliesGiveTheFullResult) {
    const std::vector<Slow> rows = {
        {"late reply with an old transaction id", Fault::late_reply(), Aim::read, 0},
        {"late reply with a much older id", Fault::late_reply(-300, 0xFFFF), Aim::read, 0},
        {"late reply to an acknowledge", Fault::late_reply(), Aim::write_single, 0},
        {"late reply to a write", Fault::late_reply(), Aim::write_multiple, 0},
        {"reply delayed within the time limit",
         Fault::delay(std::chrono::milliseconds(TIMEOUT_MS / 2)), Aim::read, 1},
        {"reply trickled one byte at a time", Fault::trickle(std::chrono::milliseconds(5)),
         Aim::read, 3},
    };
    for (const Slow& row : rows) {
        SCOPED_TRACE(row.what);
        for (const Op op : ALL_OPS) {
            if (!concerns(row.aim, op)) continue;
            FaultMeter meter;
            meter.sim.add_fault(aimed(row.action, row.aim, op));
            const Outcome& want = healthy(op);
            expect_call(&meter.sim, op, meter.call(), {want.status, "", want.texts, row.waits});
            EXPECT_GE(meter.sim.fault_hits(0), 1) << "the fault never struck";
            expect_recovers(meter, op);
        }
    }
}

// The healthy texts with one piece replaced in each.
Texts replaced(Texts texts, const std::string& from, const std::string& to) {
    for (std::string& text : texts) {
        if (const size_t at = text.find(from); at != std::string::npos)
            text.replace(at, from.size(), to);
    }
    return texts;
}

const std::string DEVICE_PREFIX =
    R"({"meter":"em133","host":"127.0.0.1","model_name":"EM133","model_id":133,"serial":1201784,"options":0,"firmware":{"version":3,"build":12},"bootloader":{"version":1,"build":4},)";

Expected device_info(const std::string& setup) {
    const std::string doc = DEVICE_PREFIX + setup;
    return {int(doc.size()), "", {doc}, 0};
}

// The healthy live document without the readings from point `first` up to point `end`
// (excluded; 0: to the end of the document).
Expected live_without(int first, int end) {
    std::string doc = healthy(Op::live).texts.at(0);
    const auto at = [&](int pid) { return doc.find("{\"pid\":" + std::to_string(pid) + ","); };
    const size_t from = at(first);
    if (end == 0) {
        doc.erase(from - 1, doc.size() - 2 - (from - 1));  // with the comma before it
    } else {
        doc.erase(from, at(end) - from);  // with the comma after it
    }
    int readings = 0;
    for (size_t pos = doc.find("{\"pid\":"); pos != std::string::npos;
         pos = doc.find("{\"pid\":", pos + 1)) {
        ++readings;
    }
    return {readings, "", {doc}, 0};
}

const std::string NO_LOGS = R"({"meter":"em133","host":"127.0.0.1","logs":[]})";
const std::string EVENT_LOG_AND_BARE_DATALOG =
    R"({"meter":"em133","host":"127.0.0.1","logs":[{"file_id":0,"type":"eventlog","records":6},{"file_id":1,"type":"datalog","records":6,"columns":[]}]})";

// Healthy log texts with the record count the meter could not tell.
Expected total_unknown(Op op) {
    const Outcome& want = healthy(op);
    return {want.status, "", replaced(want.texts, "\"total\":6", "\"total\":-1"), 0};
}

void refuse_file_info(ksim::Simulator& sim, int file, bool variant2, bool on_write) {
    sim.update_log(file, [&](ksim::LogFile& f) {
        (variant2 ? f.var2_refusal : f.var0_refusal) = {2, on_write};
    });
}

struct Degraded {
    std::string what;
    Op op;
    std::function<void(ksim::Simulator&)> fault;
    std::function<Expected()> expected;
    std::optional<std::vector<std::string>> warnings = std::nullopt;  // checked when given
};

// Reads the operation can do without: refused, lost or unanswered, they leave a default or a
// gap and the call succeeds.
TEST(ToleratedFaults, DegradedReadsGiveTheDegradedResult) {
    const std::vector<Degraded> rows = {
        {"PT ratio refused", Op::device_info,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(2).reads(2305)); },
         [] {
             return device_info(
                 R"("setup":{"pt_ratio":1.0,"energy_decimals":2,"high_resolution":false}})");
         }},
        {"energy decimals refused", Op::device_info,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(2).reads(2393)); },
         [] {
             return device_info(
                 R"("setup":{"pt_ratio":1.0,"energy_decimals":0,"high_resolution":true}})");
         }},
        // Lost or unanswered setting reads are not tolerated: the call fails, naming the setting.
        {"peer closes after 1 good reply", Op::device_info,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::close_after_replies(1)); },
         [] {
             return Expected{
                 -1, "Cannot read the PT ratio (register 2305): socket recv failed", {}, 0};
         }},
        {"peer closes after 3 good replies", Op::device_info,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::close_after_replies(3)); },
         [] {
             return Expected{
                 -1,
                 "Cannot read the high-resolution setting (register 2390): socket recv failed",
                 {},
                 0};
         }},
        {"reply later than the time limit", Op::device_info,
         [](ksim::Simulator& sim) {
             sim.add_fault(
                 Fault::delay(std::chrono::milliseconds(TIMEOUT_MS + 150)).reads(2305).nth(1));
         },
         [] {
             return Expected{-1, "Cannot read the PT ratio (register 2305): " + NO_REPLY, {}, 1};
         }},
        {"span reply later than the time limit", Op::live,
         [](ksim::Simulator& sim) {
             sim.add_fault(
                 Fault::delay(std::chrono::milliseconds(TIMEOUT_MS + 150)).reads(13952).nth(1));
         },
         [] {
             return Expected{-1, NO_REPLY, {}, 1};
         }},
        {"family span refused by a device failure", Op::live,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(4).reads(13952).times(1)); },
         [] {
             return Expected{-1, "Modbus exception 4", {}, 0};
         }},
        {"family span refused as absent, points read one by one", Op::live,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(2).reads(13952).times(1)); },
         [] {
             return Expected{55, "", healthy(Op::live).texts, 0};
         }},
        {"one point refused on its own too", Op::live,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(2).reads(14338)); },
         [] { return live_without(5121, 5122); },
         std::vector<std::string>{"Point 0x1401 not readable on this meter: Modbus exception 2"}},
        {"peer closes after the first family: no values but all", Op::live,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::reply_then_close().reads(13952).nth(1)); },
         [] {
             return Expected{-1, "socket recv failed", {}, 0};
         }},
        {"File Info refused for every file", Op::list_logs,
         [](ksim::Simulator& sim) { sim.add_fault(Fault::exception(2).writes(64944)); },
         [] {
             return Expected{0, "", {NO_LOGS}, 0};
         }},
        {"File Info variant 0 of file 1 refused", Op::list_logs,
         [](ksim::Simulator& sim) { refuse_file_info(sim, 1, false, false); },
         [] {
             return Expected{
                 1,
                 "",
                 {R"({"meter":"em133","host":"127.0.0.1","logs":[{"file_id":0,"type":"eventlog","records":6}]})"},
                 0};
         }},
        {"File Info variant 2 of file 1 refused", Op::list_logs,
         [](ksim::Simulator& sim) { refuse_file_info(sim, 1, true, true); },
         [] {
             return Expected{2, "", {EVENT_LOG_AND_BARE_DATALOG}, 0};
         }},
        {"File Info variant 2 refused: columns from the record size", Op::datalog_stream,
         [](ksim::Simulator& sim) { refuse_file_info(sim, 1, true, false); },
         [] {
             return Expected{
                 RECORDS,
                 "",
                 {R"({"type":"header","meter":"em133","host":"127.0.0.1","file_id":1,"total":6,"columns":[{"name":"Param_1","unit":"","decimals":0},{"name":"Param_2","unit":"","decimals":0}]})",
                  R"({"type":"record","no":1,"seq":101,"timestamp":"2023-11-14T22:13:20.000Z","trigger":"SP","values":[2301,12345]})",
                  R"({"type":"record","no":2,"seq":102,"timestamp":"2023-11-14T22:28:20.000Z","trigger":"SP","values":[2302,12346]})",
                  R"({"type":"record","no":3,"seq":103,"timestamp":"2023-11-14T22:43:20.000Z","trigger":"SP","values":[2303,12347]})",
                  R"({"type":"record","no":4,"seq":104,"timestamp":"2023-11-14T22:58:20.000Z","trigger":"SP","values":[2304,12348]})",
                  R"({"type":"record","no":5,"seq":105,"timestamp":"2023-11-14T23:13:20.000Z","trigger":"SP","values":[2305,12349]})",
                  R"({"type":"record","no":6,"seq":106,"timestamp":"2023-11-14T23:28:20.000Z","trigger":"SP","values":[2306,12350]})"},
                 0};
         }},
        {"File Info variant 2 refused: CSV columns from the record size", Op::datalog_csv,
         [](ksim::Simulator& sim) { refuse_file_info(sim, 1, true, true); },
         [] {
             return Expected{RECORDS,
                             "",
                             {"No.,Date/Time,Trigger,Param_1,Param_2\n",
                              "1,14/11/23  22:13:20.000,SP,2301,12345\n",
                              "2,14/11/23  22:28:20.000,SP,2302,12346\n",
                              "3,14/11/23  22:43:20.000,SP,2303,12347\n",
                              "4,14/11/23  22:58:20.000,SP,2304,12348\n",
                              "5,14/11/23  23:13:20.000,SP,2305,12349\n",
                              "6,14/11/23  23:28:20.000,SP,2306,12350\n"},
                             0};
         }},
    };
    std::vector<Degraded> all = rows;
    // File Info variant 0 refused, on its reply and on its request: the count is unknown and
    // the transfer runs to the end of the file.
    for (const Op op : LOG_OPS) {
        for (const bool on_write : {false, true}) {
            all.push_back(
                {std::string("File Info variant 0 refused") + (on_write ? " on the request" : ""),
                 op,
                 [op, on_write](ksim::Simulator& sim) {
                     refuse_file_info(sim, log_file_of(op), false, on_write);
                 },
                 [op] { return total_unknown(op); },
                 std::vector<std::string>{"File " + std::to_string(log_file_of(op)) +
                                          ": File Info unavailable, record count unknown"}});
        }
    }
    for (const Degraded& row : all) {
        SCOPED_TRACE(row.what);
        FaultMeter meter;
        row.fault(meter.sim);
        const Expected want = row.expected();
        {
            ktest::LogCapture log;
            expect_call(&meter.sim, row.op, meter.call(), want);
            if (row.warnings) {
                EXPECT_EQ(log.at_level(KOLVANE_LOG_WARNING), *row.warnings);
            }
        }
        expect_recovers(meter, row.op);
    }
}

}  // namespace
}  // namespace kfault
