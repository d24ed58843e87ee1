// SPDX-License-Identifier: MIT
// The em235 diagnostics export under faults that end at once: the call fails with the
// fault's message and no file is created; the next call on the healthy meter writes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "on_502.hpp"

namespace kfault {
namespace {

using ksim::Fault;

// Words 0x0001 and 0x0002 at register number 100, word 1 the upper half.
const std::vector<std::string> DIAGNOSTICS_FILE = {
    "word0_hex,word1_hex,value_hex,word_order\n",
    "0x1,0x2,0x20001,HI_FIRST\n",
    "\n",
    "bit,label,state\n",
    "0,Critical error,1\n",
    "1,Permanent fault (critical error),0\n",
    "2,RAM/Data error,0\n",
    "3,CPU watchdog reset,0\n",
    "4,DSP/Sampling fault,0\n",
    "5,CPU exception,0\n",
    "6,,0\n",
    "7,Software watchdog reset,0\n",
    "8,Power down,0\n",
    "9,Device reset,0\n",
    "10,Configuration reset,0\n",
    "11,RTC fault (critical error),0\n",
    "12,Configuration fault (critical error),0\n",
    "13,Low battery,0\n",
    "14,Expanded memory fault,0\n",
    "15,CPU EEPROM fault,0\n",
    "16,AC board EEPROM fault,0\n",
    "17,I/O board EEPROM fault,1\n",
    "18,,0\n",
    "19,,0\n",
    "20,C Library error,0\n",
    "21,RTOS Kernel error,0\n",
    "22,Task error,0\n",
    "23,,0\n",
    "24,IRIG-B signal lost,0\n",
    "25,IRIG-B time unlocked,0\n",
};

class DiagnosticsFaults : public On502 {
protected:
    void expect_export(int status, const std::string& message,
                       const std::vector<std::string>& lines) {
        const std::string path = fresh_path() + ".csv";
        EXPECT_EQ(timed([&] {
                      return kolvane_export_em235_diagnostics("127.0.0.1", 1, 100, 2, "HI_FIRST",
                                                              path.c_str(), err, sizeof err);
                  }),
                  status);
        EXPECT_STREQ(err, message.c_str());
        EXPECT_EQ(std::filesystem::exists(path), !lines.empty()) << "file created";
        EXPECT_EQ(ktest::file_lines(path), lines);
    }
    void expect_recovers() {
        SCOPED_TRACE("next call on the healthy meter");
        load(sim);
        expect_export(26, "", DIAGNOSTICS_FILE);
    }
};

TEST_F(DiagnosticsFaults, ReadFailsNoFile) {
    struct Row {
        std::string what;
        Fault fault;
        std::string message;
    };
    std::vector<uint8_t> long_reply = {0x03, 254};
    long_reply.resize(2 + 254, 0x11);
    std::vector<Row> rows = {
        {"peer closes before the header", Fault::close(), "socket recv failed"},
        {"peer closes inside the header", Fault::close_after_bytes(3), "socket recv failed"},
        {"peer closes inside the PDU", Fault::close_after_bytes(9), "socket recv failed"},
        {"wrong function code", Fault::pdu({0x04, 0x04, 0, 1, 0, 2}), "Invalid read response"},
        {"byte count too short", Fault::pdu({0x03, 0x02, 0x00, 0x01}),
         "Malformed read response length"},
        {"byte count beyond the PDU", Fault::pdu({0x03, 0x06, 0, 1, 0, 2}),
         "Malformed read response length"},
        {"byte count too long", Fault::pdu(long_reply), "Malformed read response length"},
        {"exception PDU of one byte", Fault::pdu({0x83}), "Modbus exception -1"},
    };
    for (const int length : {0, 1, 261, 65535}) {
        rows.push_back({"MBAP length " + std::to_string(length), Fault::pdu({}, length),
                        "Invalid MBAP length: " + std::to_string(length)});
    }
    for (const int code : {1, 2, 3, 4, 11, 255}) {
        rows.push_back({"exception " + std::to_string(code), Fault::exception(uint8_t(code)),
                        code == 11 ? "no meter answered at unit 1 behind 127.0.0.1:502"
                                   : "Modbus exception " + std::to_string(code)});
    }
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim.add_fault(row.fault.reads(99, 100));
        expect_export(-1, row.message, {});
        expect_recovers();
    }
}

TEST_F(DiagnosticsFaults, RefusedConnection) {
    sim.stop();
    expect_export(-1, "Cannot connect to 127.0.0.1:502", {});
    ASSERT_NO_THROW(sim.start(502));
    expect_recovers();
}

}  // namespace
}  // namespace kfault
