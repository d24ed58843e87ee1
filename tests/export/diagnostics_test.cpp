// SPDX-License-Identifier: MIT
// The em235 diagnostics export: the file for each word order, which registers of which unit
// are read, and that no file appears when anything before writing it fails.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/files.hpp"
#include "support/journal.hpp"
#include "support/meter_on_502.hpp"

namespace {

using ktest::file_lines;
using ktest::read_file;
using ktest::traffic;

// Words 0x0001, 0x0002 with word 1 as the upper half: value 0x20001, bits 0 and 17.
const std::string HI_FIRST_FILE =
    "word0_hex,word1_hex,value_hex,word_order\n"
    "0x1,0x2,0x20001,HI_FIRST\n"
    "\n"
    "bit,label,state\n"
    "0,Critical error,1\n"
    "1,Permanent fault (critical error),0\n"
    "2,RAM/Data error,0\n"
    "3,CPU watchdog reset,0\n"
    "4,DSP/Sampling fault,0\n"
    "5,CPU exception,0\n"
    "6,,0\n"
    "7,Software watchdog reset,0\n"
    "8,Power down,0\n"
    "9,Device reset,0\n"
    "10,Configuration reset,0\n"
    "11,RTC fault (critical error),0\n"
    "12,Configuration fault (critical error),0\n"
    "13,Low battery,0\n"
    "14,Expanded memory fault,0\n"
    "15,CPU EEPROM fault,0\n"
    "16,AC board EEPROM fault,0\n"
    "17,I/O board EEPROM fault,1\n"
    "18,,0\n"
    "19,,0\n"
    "20,C Library error,0\n"
    "21,RTOS Kernel error,0\n"
    "22,Task error,0\n"
    "23,,0\n"
    "24,IRIG-B signal lost,0\n"
    "25,IRIG-B time unlocked,0\n";

// The same words with word 0 as the upper half: value 0x10002, bits 1 and 16.
const std::string LO_FIRST_FILE =
    "word0_hex,word1_hex,value_hex,word_order\n"
    "0x1,0x2,0x10002,LO_FIRST\n"
    "\n"
    "bit,label,state\n"
    "0,Critical error,0\n"
    "1,Permanent fault (critical error),1\n"
    "2,RAM/Data error,0\n"
    "3,CPU watchdog reset,0\n"
    "4,DSP/Sampling fault,0\n"
    "5,CPU exception,0\n"
    "6,,0\n"
    "7,Software watchdog reset,0\n"
    "8,Power down,0\n"
    "9,Device reset,0\n"
    "10,Configuration reset,0\n"
    "11,RTC fault (critical error),0\n"
    "12,Configuration fault (critical error),0\n"
    "13,Low battery,0\n"
    "14,Expanded memory fault,0\n"
    "15,CPU EEPROM fault,0\n"
    "16,AC board EEPROM fault,1\n"
    "17,I/O board EEPROM fault,0\n"
    "18,,0\n"
    "19,,0\n"
    "20,C Library error,0\n"
    "21,RTOS Kernel error,0\n"
    "22,Task error,0\n"
    "23,,0\n"
    "24,IRIG-B signal lost,0\n"
    "25,IRIG-B time unlocked,0\n";

constexpr int FIRST_REGISTER = 7001;  // address 7000

class Diagnostics : public ktest::MeterOn502 {
protected:
    void SetUp() override {
        MeterOn502::SetUp();
        sim.set_registers(FIRST_REGISTER - 1, {0x0001, 0x0002, 0x0003});
    }

    int export_diagnostics(int unit, int first_register, int count, const char* word_order) {
        return kolvane_export_em235_diagnostics("127.0.0.1", unit, first_register, count,
                                                word_order, path.c_str(), err, sizeof err);
    }

    std::string path = dir.file("diagnostics.csv");
};

TEST_F(Diagnostics, HiFirstTakesWordOneAsTheUpperHalf) {
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "HI_FIRST"), 26);
    EXPECT_STREQ(err, "");
    EXPECT_EQ(read_file(path), HI_FIRST_FILE);
    EXPECT_EQ(traffic(sim), std::vector<std::string>{"FC3 7000 2"});
}

TEST_F(Diagnostics, AnyOtherOrderTakesWordZeroAsTheUpperHalf) {
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "LO_FIRST"), 26);
    EXPECT_EQ(read_file(path), LO_FIRST_FILE);
}

struct ValueCase {
    std::vector<uint16_t> words;
    const char* word_order;
    const char* value_line;
};

class DiagnosticsValue : public Diagnostics, public testing::WithParamInterface<ValueCase> {};

TEST_P(DiagnosticsValue, ValueLineShowsWordsValueAndOrderUnchanged) {
    sim.set_registers(FIRST_REGISTER - 1, GetParam().words);
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, GetParam().word_order), 26) << err;
    const std::vector<std::string> lines = file_lines(path);
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[1], std::string(GetParam().value_line) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Orders, DiagnosticsValue,
    testing::Values(ValueCase{{0x0001, 0x0002}, "hi_first", "0x1,0x2,0x10002,hi_first"},
                    ValueCase{{0x0001, 0x0002}, "HI_FIRST ", "0x1,0x2,0x10002,HI_FIRST "},
                    ValueCase{{0x0001, 0x0002}, "", "0x1,0x2,0x10002,"},
                    ValueCase{{0x0001, 0x0002}, "lo,first", "0x1,0x2,0x10002,lo,first"},
                    ValueCase{{0x0000, 0x00AB}, "LO_FIRST", "0x0,0xAB,0xAB,LO_FIRST"},
                    ValueCase{{0x0000, 0x00AB}, "HI_FIRST", "0x0,0xAB,0xAB0000,HI_FIRST"},
                    ValueCase{{0xABCD, 0x0000}, "HI_FIRST", "0xABCD,0x0,0xABCD,HI_FIRST"}));

TEST_F(Diagnostics, AllBitsSetShowInEveryRowAndBitsAbove25Never) {
    sim.set_registers(FIRST_REGISTER - 1, {0xFFFF, 0xFFFF});
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "HI_FIRST"), 26);
    const std::vector<std::string> lines = file_lines(path);
    ASSERT_EQ(lines.size(), 30u);
    EXPECT_EQ(lines[1], "0xFFFF,0xFFFF,0xFFFFFFFF,HI_FIRST\n");
    for (size_t bit = 0; bit < 26; ++bit) {
        const std::string& row = lines[4 + bit];
        EXPECT_EQ(row.substr(0, row.find(',')), std::to_string(bit));
        EXPECT_EQ(row.substr(row.size() - 3), ",1\n") << row;
    }
}

struct CountCase {
    int count;
    const char* message;  // empty: the read is made with count registers
    bool sent;            // the one read request reached the meter
};

class DiagnosticsCount : public Diagnostics, public testing::WithParamInterface<CountCase> {};

TEST_P(DiagnosticsCount, IsCheckedBeforeConnectingAndReadInOneRequest) {
    const CountCase& c = GetParam();
    sim.set_registers(FIRST_REGISTER - 1, std::vector<uint16_t>(125, 0x0004));
    const int status = export_diagnostics(1, FIRST_REGISTER, c.count, "HI_FIRST");
    if (*c.message == '\0') {
        EXPECT_EQ(status, 26) << err;
        const std::vector<std::string> lines = file_lines(path);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1],
                  "0x4,0x4,0x40004,HI_FIRST\n");  // the words after the first two are ignored
    } else {
        EXPECT_EQ(status, -1);
        EXPECT_STREQ(err, c.message);
        EXPECT_EQ(read_file(path), std::nullopt);
    }
    if (c.sent) {
        EXPECT_EQ(traffic(sim), std::vector<std::string>{"FC3 7000 " + std::to_string(c.count)});
    } else {
        EXPECT_EQ(sim.connections_accepted(), 0u);
    }
}

// Counts up to the request's 16-bit limit are the meter's to answer (it refuses reads above
// 125 registers with exception 3); larger ones would be cut to 16 bits and are refused first.
INSTANTIATE_TEST_SUITE_P(
    Counts, DiagnosticsCount,
    testing::Values(CountCase{-1, "count must be >= 2 for 32-bit diagnostics", false},
                    CountCase{0, "count must be >= 2 for 32-bit diagnostics", false},
                    CountCase{1, "count must be >= 2 for 32-bit diagnostics", false},
                    CountCase{2, "", true}, CountCase{3, "", true}, CountCase{125, "", true},
                    CountCase{126, "Modbus exception 3", true},
                    CountCase{65535, "Modbus exception 3", true},
                    CountCase{65536, "count must be at most 65535 for one read request", false},
                    // Cut to 16 bits this would read 2 registers.
                    CountCase{65538, "count must be at most 65535 for one read request", false}));

struct UnitCase {
    int given;
    int sent;
};

class DiagnosticsUnit : public Diagnostics, public testing::WithParamInterface<UnitCase> {};

TEST_P(DiagnosticsUnit, OnlyItsLowEightBitsAreSent) {
    EXPECT_EQ(export_diagnostics(GetParam().given, FIRST_REGISTER, 2, "HI_FIRST"), 26) << err;
    const std::vector<ksim::Request> journal = sim.journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].unit, GetParam().sent);
    EXPECT_EQ(journal[0].address, 7000);
    EXPECT_EQ(read_file(path), HI_FIRST_FILE);
}

INSTANTIATE_TEST_SUITE_P(Units, DiagnosticsUnit,
                         testing::Values(UnitCase{1, 1}, UnitCase{0, 0}, UnitCase{255, 255},
                                         UnitCase{256, 0}, UnitCase{-1, 255}, UnitCase{263, 7}));

struct AddressCase {
    int first_register;
    uint16_t address;
};

class DiagnosticsAddress : public Diagnostics, public testing::WithParamInterface<AddressCase> {};

// Register numbers count from 1; the address is the number minus 1 taken modulo 65536.
TEST_P(DiagnosticsAddress, IsTheRegisterNumberMinusOne) {
    sim.set_registers(GetParam().address, {0x0001, 0x0002});
    EXPECT_EQ(export_diagnostics(1, GetParam().first_register, 2, "HI_FIRST"), 26) << err;
    EXPECT_EQ(traffic(sim),
              std::vector<std::string>{"FC3 " + std::to_string(GetParam().address) + " 2"});
    EXPECT_EQ(read_file(path), HI_FIRST_FILE);
}

INSTANTIATE_TEST_SUITE_P(Numbers, DiagnosticsAddress,
                         testing::Values(AddressCase{1, 0}, AddressCase{65535, 65534},
                                         AddressCase{-65535, 0}, AddressCase{INT_MAX, 65534}));

class DiagnosticsLastAddress : public Diagnostics, public testing::WithParamInterface<int> {};

// Register numbers 0 and INT_MIN wrap to address 65535, where two registers do not fit: the
// meter refuses, and the file that was there before is left as it was.
TEST_P(DiagnosticsLastAddress, IsReadAndARefusalWritesNothing) {
    ktest::write_file(path, "older content\n");
    EXPECT_EQ(export_diagnostics(1, GetParam(), 2, "HI_FIRST"), -1);
    EXPECT_STREQ(err, "Modbus exception 2");
    EXPECT_EQ(traffic(sim), std::vector<std::string>{"FC3 65535 2"});
    EXPECT_EQ(read_file(path), "older content\n");
}

INSTANTIATE_TEST_SUITE_P(Numbers, DiagnosticsLastAddress, testing::Values(0, INT_MIN));

TEST_F(Diagnostics, RefusedReadCreatesNoFile) {
    sim.add_fault(ksim::Fault::exception(2).reads(7000));
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "HI_FIRST"), -1);
    EXPECT_STREQ(err, "Modbus exception 2");
    EXPECT_EQ(read_file(path), std::nullopt);
}

TEST_F(Diagnostics, UnreachableMeterCreatesNoFile) {
    sim.stop();
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "HI_FIRST"), -1);
    EXPECT_STREQ(err, "Cannot connect to 127.0.0.1:502");
    EXPECT_EQ(read_file(path), std::nullopt);
}

TEST_F(Diagnostics, UnopenableFileFailsAfterTheRead) {
    path = dir.file("missing/diagnostics.csv");
    EXPECT_EQ(export_diagnostics(1, FIRST_REGISTER, 2, "HI_FIRST"), -1);
    EXPECT_EQ(std::string(err), "Cannot open CSV: " + path);
    EXPECT_EQ(traffic(sim), std::vector<std::string>{"FC3 7000 2"});
}

struct ArgumentCase {
    const char* host;
    const char* word_order;
    bool with_path;
    const char* message;
};

class DiagnosticsArguments : public Diagnostics,
                             public testing::WithParamInterface<ArgumentCase> {};

TEST_P(DiagnosticsArguments, FailBeforeConnecting) {
    const ArgumentCase& c = GetParam();
    EXPECT_EQ(
        kolvane_export_em235_diagnostics(c.host, 1, FIRST_REGISTER, 1, c.word_order,
                                         c.with_path ? path.c_str() : nullptr, err, sizeof err),
        -1);
    EXPECT_STREQ(err, c.message);
    EXPECT_EQ(sim.connections_accepted(), 0u);
    EXPECT_EQ(read_file(path), std::nullopt);
}

// Null pointers are reported before the count (1 here) is looked at.
INSTANTIATE_TEST_SUITE_P(
    InOrder, DiagnosticsArguments,
    testing::Values(ArgumentCase{nullptr, nullptr, false, "host must not be null"},
                    ArgumentCase{"127.0.0.1", nullptr, false, "word_order must not be null"},
                    ArgumentCase{"127.0.0.1", "HI_FIRST", false, "csv_path must not be null"},
                    ArgumentCase{"127.0.0.1", "HI_FIRST", true,
                                 "count must be >= 2 for 32-bit diagnostics"}));

}  // namespace
