// SPDX-License-Identifier: MIT
// The em133 bundle under faults that end at once: the call fails with the fault's message,
// the files completed before stay complete, the file in progress keeps its whole rows, later
// logs are not exported; the next call on the healthy meter exports everything.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "on_502.hpp"

namespace kfault {
namespace {

using ksim::Fault;
using Files = std::map<std::string, std::vector<std::string>>;  // "EM133_DL1" -> lines

// The files in `dir` by the name up to their time stamp.
Files exported(const std::string& dir) {
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const std::string log =
            name.rfind("EM133_EVENTLOG_", 0) == 0 ? "EM133_EVENTLOG" : name.substr(0, 9);
        files[log] = ktest::file_lines(entry.path().string());
    }
    return files;
}

struct BundleFault {
    std::string what;
    Fault fault;
    std::string message;
};

class BundleFaults : public On502 {
protected:
    // Exports into a fresh directory and checks the status, the message and the files.
    void expect_bundle(int set_clock, int status, const std::string& message, const Files& files) {
        const std::string dir = fresh_dir();
        EXPECT_EQ(timed([&] {
                      return kolvane_export_em133_all("127.0.0.1", set_clock, 0, dir.c_str(), err,
                                                      sizeof err);
                  }),
                  status);
        EXPECT_STREQ(err, message.c_str());
        EXPECT_EQ(exported(dir), files);
    }
    void expect_recovers() {
        SCOPED_TRACE("next call on the healthy meter");
        load(sim);
        const auto& datalog = healthy(Op::datalog_csv).texts;
        expect_bundle(0, 4 * RECORDS, "",
                      {{"EM133_DL1", datalog},
                       {"EM133_DL2", datalog},
                       {"EM133_DL3", datalog},
                       {"EM133_EVENTLOG", healthy(Op::eventlog_csv).texts}});
    }
};

// Each fault strikes the second block of data log 2: data log 1 was exported completely,
// data log 2 keeps its header and first block.
TEST_F(BundleFaults, SecondDataLogBreaksOff) {
    const std::vector<uint8_t> oversized = {3, 16, 0,   0, 0,  0, 0, 0, 0,
                                            0, 0,  199, 0, 12, 0, 0, 0, 0};
    const std::vector<BundleFault> rows = {
        {"exception 4", Fault::exception(4).reads(63160).nth(5), "Modbus exception 4"},
        {"exception 11, also to the read's second try",
         Fault::exception(11).reads(63160).skip(4).times(2),
         "no meter answered at unit 1 behind 127.0.0.1:502"},
        {"exception PDU of one byte", Fault::pdu({0x83}).reads(63160).nth(5),
         "Modbus exception -1"},
        {"peer closes before the header", Fault::close().reads(63160).nth(5), "socket recv failed"},
        {"peer closes inside the header", Fault::close_after_bytes(3).reads(63160).nth(5),
         "socket recv failed"},
        {"peer closes inside the PDU", Fault::close_after_bytes(10).reads(63160).nth(5),
         "socket recv failed"},
        {"MBAP length 261", Fault::pdu({}, 261).reads(63160).nth(5), "Invalid MBAP length: 261"},
        {"wrong function code", Fault::pdu({0x04, 0x02, 0x00, 0x00}).reads(63160).nth(5),
         "Invalid read response"},
        {"byte count too short", Fault::pdu({0x03, 0x02, 0x00, 0x01}).reads(63160).nth(5),
         "Malformed read response length"},
        {"acknowledge reply of 4 bytes",
         Fault::pdu({0x06, 0xF6, 0x90, 0x00}).function(6).range(63120).nth(4),
         "Invalid write single response"},
        {"block request reply of 6 bytes",
         Fault::pdu({0x10, 0xF6, 0x90, 0x00, 0x06, 0x00}).function(16).range(63120).nth(7),
         "Invalid write multiple response"},
        {"block header beyond the window", Fault::pdu(oversized).reads(63152).nth(5),
         "File 2: block header announces 199 records of 12 words, more than the meter's block "
         "window holds"},
    };
    const auto& datalog = healthy(Op::datalog_csv).texts;
    for (const BundleFault& row : rows) {
        SCOPED_TRACE(row.what);
        load(sim);  // fresh read positions: no seek before the first block
        sim.add_fault(row.fault);
        expect_bundle(0, -1, row.message,
                      {{"EM133_DL1", datalog}, {"EM133_DL2", first(datalog, 1 + PER_BLOCK)}});
        expect_recovers();
    }
}

TEST_F(BundleFaults, EventLogBreaksOffAfterThreeDataLogs) {
    sim.add_fault(Fault::close_after_bytes(7).reads(63160).nth(3 * 3 + 2));
    const auto& datalog = healthy(Op::datalog_csv).texts;
    expect_bundle(0, -1, "socket recv failed",
                  {{"EM133_DL1", datalog},
                   {"EM133_DL2", datalog},
                   {"EM133_DL3", datalog},
                   {"EM133_EVENTLOG", first(healthy(Op::eventlog_csv).texts, 1 + PER_BLOCK)}});
    expect_recovers();
}

// Any failure of the clock step ends the call before the first export; a failed clock block
// still has the guard register reset to 0 when the meter lets it.
TEST_F(BundleFaults, ClockStepFails) {
    const struct {
        std::string what;
        Fault fault;
        std::string message;
        std::optional<uint16_t> guard;
    } rows[] = {
        {"guard write refused", Fault::exception(4).writes(2575).nth(1), "Modbus exception 4",
         std::nullopt},
        {"clock block refused", Fault::exception(4).writes(4352, 4358), "Modbus exception 4", 0},
        {"guard reset refused", Fault::exception(4).writes(2575).nth(2), "Modbus exception 4",
         KOLVANE_DEFAULT_CLOCK_GUARD},
        {"peer closes on the clock block", Fault::close().writes(4352, 4358), "socket recv failed",
         KOLVANE_DEFAULT_CLOCK_GUARD},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        load(sim);
        sim.erase_registers(2575);
        sim.add_fault(row.fault);
        expect_bundle(1, -1, row.message, {});
        EXPECT_EQ(sim.get_register(2575), row.guard);
        expect_recovers();
    }
}

TEST_F(BundleFaults, RefusedConnection) {
    sim.stop();
    expect_bundle(0, -1, "Cannot connect to 127.0.0.1:502", {});
    ASSERT_NO_THROW(sim.start(502));
    expect_recovers();
}

}  // namespace
}  // namespace kfault
