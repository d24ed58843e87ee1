// SPDX-License-Identifier: MIT
// The File Info exchange: its three transactions, the record count and read position of
// variant 0, and the two column-list layouts of variant 2.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "logs/file_info.hpp"
#include "support/sim_meter.hpp"

using namespace ktest;
using kolvane::file_info_var0;
using kolvane::file_info_var2;

namespace {

ksim::LogFile file_with_position(uint16_t records, uint16_t read_index, uint16_t start_index) {
    ksim::LogFile file;
    file.info_records = records;
    file.read_index = read_index;
    file.start_index = start_index;
    return file;
}

TEST(FileInfoVar0, ReportsRecordCountAndIndicesFromWords8To12) {
    SimMeter meter;
    meter.sim.set_log(3, file_with_position(65535, 0x1234, 0xFFFE));
    auto client = meter.connect();

    const kolvane::FileInfo info = file_info_var0(*client, 3);

    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.records, 65535);
    EXPECT_EQ(info.read_index, 0x1234);
    EXPECT_EQ(info.start_index, 0xFFFE);
    EXPECT_EQ(meter.traffic(), file_info_exchange(3, 0));
}

// The meter's answer that it has no such file is "not ok" with zeros, and the exchange stops
// at the refused transaction; any other failure raises, naming the file.
TEST(FileInfoVar0, OnlyAbsenceIsNotOkWeatherRaises) {
    struct Case {
        const char* what;
        ksim::LogFile::Refusal refusal;
        std::vector<std::string> traffic;
        const char* error;  // empty: not ok
    };
    const Case cases[] = {
        {"illegal value on the request write", {3, true}, {"FC16 64944 [9,2,0,0,0,0,0,0]"}, ""},
        {"illegal address on the reply read", {2, false}, file_info_exchange(2, 0), ""},
        {"device failure on the request write",
         {4, true},
         {"FC16 64944 [9,2,0,0,0,0,0,0]"},
         "Cannot read File Info of data log 2 (file 2): Modbus exception 4"},
        {"gateway exception on the reply read",
         {10, false},
         file_info_exchange(2, 0),
         "Cannot read File Info of data log 2 (file 2): Modbus exception 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        ksim::LogFile file = file_with_position(7, 3, 1);
        file.var0_refusal = c.refusal;
        meter.sim.set_log(2, file);
        auto client = meter.connect();

        if (*c.error) {
            try {
                file_info_var0(*client, 2);
                ADD_FAILURE() << "weather taken for an answer";
            } catch (const std::runtime_error& failure) {
                EXPECT_STREQ(failure.what(), c.error);
            }
        } else {
            const kolvane::FileInfo info = file_info_var0(*client, 2);
            EXPECT_FALSE(info.ok);
            EXPECT_EQ(info.records, 0);
            EXPECT_EQ(info.read_index, 0);
            EXPECT_EQ(info.start_index, 0);
        }
        EXPECT_EQ(meter.traffic(), c.traffic);
    }
}

TEST(FileInfoVar2, ReadsColumnListInEitherLayout) {
    using Words = std::array<uint16_t, 18>;
    struct Case {
        const char* what;
        Words words;
        std::vector<uint16_t> ids;
    };
    const Case cases[] = {
        {"layout A: word 1 counts, ids from word 2",
         {9, 3, 0x1100, 0x1101, 0x1102, 0x1103},
         {0x1100, 0x1101, 0x1102}},
        {"layout B: word 1 is 0, word 0 counts, ids from word 1",
         {3, 0, 0x1A2B, 0x1400},
         {0, 0x1A2B, 0x1400}},
        {"layout B: word 1 is a point id above 16", {2, 0x1100, 0x1400}, {0x1100, 0x1400}},
        {"layout A wins over B", {2, 1, 0x1703, 0x1100}, {0x1703}},
        {"none: word 1 is 17, word 0 is 0", {0, 17, 0x1100}, {}},
        {"none: both 17", {17, 17, 0x1100}, {}},
        {"layout A with all 16 columns",
         {0, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        ksim::LogFile file;
        file.info_var2_words = c.words;
        meter.sim.set_log(5, file);
        auto client = meter.connect();

        const kolvane::ColumnIdList list = file_info_var2(*client, 5);

        EXPECT_EQ(list.column_count, int(c.ids.size()));
        EXPECT_EQ(list.point_ids, c.ids);
        EXPECT_EQ(meter.traffic(), file_info_exchange(5, 2));
    }
}

TEST(FileInfoVar2, AbsentListIsEmptyWeatherRaises) {
    struct Case {
        uint8_t code;
        const char* error;  // empty: no columns
    };
    for (const Case& c : {Case{3, ""}, Case{1, ""},
                          Case{11,
                               "Cannot read File Info of data log 1 (file 1): no meter "
                               "answered at unit 1 behind 127.0.0.1:"}}) {
        SCOPED_TRACE(int(c.code));
        SimMeter meter;
        ksim::LogFile file;
        file.columns = {0x1100};
        file.var2_refusal = {c.code, false};
        meter.sim.set_log(1, file);
        auto client = meter.connect();
        if (*c.error) {
            try {
                file_info_var2(*client, 1);
                ADD_FAILURE() << "weather taken for an empty column list";
            } catch (const std::runtime_error& failure) {
                EXPECT_TRUE(std::string(failure.what()).starts_with(c.error)) << failure.what();
            }
        } else {
            EXPECT_EQ(file_info_var2(*client, 1).column_count, 0);
        }
    }
}

}  // namespace
