// SPDX-License-Identifier: MIT
// kolvane_list_logs: which files the directory lists, with which columns, and the exact
// File Info traffic it makes on its one connection.
#include <gtest/gtest.h>

#include <string>

#include "kolvane.h"
#include "support/sim_meter.hpp"

using namespace ktest;

namespace {

ksim::LogFile datalog(uint16_t records, std::vector<uint16_t> columns) {
    ksim::LogFile file;
    file.info_records = records;
    file.columns = std::move(columns);
    return file;
}

struct ListResult {
    int status;
    std::string out;
    std::string err;
};

ListResult list_logs(const SimMeter& meter, const char* model = "em133",
                     const std::string& members = "") {
    std::string options = meter.options();
    options.insert(options.size() - 1, members);
    char out[4096] = "untouched";
    char err[256] = "untouched";
    const int status =
        kolvane_list_logs("127.0.0.1", model, options.c_str(), out, sizeof out, err, sizeof err);
    return {status, out, err};
}

// Every rule of the directory in one meter: the event log without columns, data logs with
// scaled and unit-replaced columns, both column layouts and neither, refused exchanges.
TEST(ListLogs, ListsEveryFileTheMeterReports) {
    SimMeter meter;
    set_scaled_em133(meter.sim);
    meter.sim.set_log(0, ksim::LogFile{});                       // event log, 0 records
    meter.sim.set_log(1, datalog(3, {0x1100, 0x1400, 0x1780}));  // V1, Total kW, Energy REG1
    meter.sim.set_log(2, datalog(0, {}));                        // empty, no columns: left out
    meter.sim.set_log(3, datalog(0, {0x4780}));                  // empty with a column: listed
    ksim::LogFile no_columns = datalog(5, {0x1100});
    no_columns.var2_refusal = {2, true};
    meter.sim.set_log(4, no_columns);  // listed with "columns":[]
    ksim::LogFile no_count = datalog(9, {0x1100});
    no_count.var0_refusal = {2, false};
    meter.sim.set_log(5, no_count);  // left out
    ksim::LogFile layout_b = datalog(1, {});
    layout_b.info_var2_words = std::array<uint16_t, 18>{2, 0x1103, 0x1A2B};
    meter.sim.set_log(6, layout_b);  // I1 and a point not catalogued
    ksim::LogFile no_layout = datalog(2, {});
    no_layout.info_var2_words = std::array<uint16_t, 18>{0, 17, 0x1100};
    meter.sim.set_log(7, no_layout);
    meter.sim.set_log(16, datalog(65535, {0x1403}));  // Total PF: no unit

    const ListResult result = list_logs(meter);

    EXPECT_EQ(result.status, 7);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "{\"meter\":\"em133\",\"host\":\"127.0.0.1\",\"logs\":["
              "{\"file_id\":0,\"type\":\"eventlog\",\"records\":0},"
              "{\"file_id\":1,\"type\":\"datalog\",\"records\":3,\"columns\":["
              "{\"name\":\"V1\",\"unit\":\"V\",\"decimals\":1},"
              "{\"name\":\"Total kW\",\"unit\":\"kW\",\"decimals\":3},"
              "{\"name\":\"Energy REG1\",\"unit\":\"kWh\",\"decimals\":2}]},"
              "{\"file_id\":3,\"type\":\"datalog\",\"records\":0,\"columns\":["
              "{\"name\":\"Max demand REG1\",\"unit\":\"kW\",\"decimals\":3}]},"
              "{\"file_id\":4,\"type\":\"datalog\",\"records\":5,\"columns\":[]},"
              "{\"file_id\":6,\"type\":\"datalog\",\"records\":1,\"columns\":["
              "{\"name\":\"I1\",\"unit\":\"A\",\"decimals\":2},"
              "{\"name\":\"Param_2 (0x1A2B)\",\"unit\":\"\",\"decimals\":0}]},"
              "{\"file_id\":7,\"type\":\"datalog\",\"records\":2,\"columns\":[]},"
              "{\"file_id\":16,\"type\":\"datalog\",\"records\":65535,\"columns\":["
              "{\"name\":\"Total PF\",\"unit\":\"\",\"decimals\":3}]}]}");
}

TEST(ListLogs, MeterWithoutFileInfoGivesEmptyListAsSuccess) {
    SimMeter meter;

    const ListResult result = list_logs(meter, "pm335");

    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "{\"meter\":\"em235\",\"host\":\"127.0.0.1\",\"logs\":[]}");
}

// Scales once, then variant 0 for all 17 files in ascending order, variant 2 right after
// variant 0 for data logs that answered it, never for the event log.
TEST(ListLogs, AsksEveryFileInOrderOnOneConnection) {
    SimMeter meter;
    meter.sim.set_log(0, ksim::LogFile{});
    meter.sim.set_log(2, datalog(4, {0x1100}));

    const ListResult result = list_logs(meter);

    ASSERT_EQ(result.status, 2) << result.err;
    std::vector<std::string> expected =
        concat({BARE_EM133_READS, file_info_exchange(0, 0), file_info_exchange(1, 0),
                file_info_exchange(2, 0), file_info_exchange(2, 2)});
    for (int file_id = 3; file_id <= 16; ++file_id) {
        expected = concat({expected, file_info_exchange(file_id, 0)});
    }
    EXPECT_EQ(meter.traffic(), expected);
    EXPECT_EQ(meter.sim.connections_accepted(), 1u);
}

TEST(ListLogs, NullArgumentFailsBeforeAnyTraffic) {
    SimMeter meter;
    const std::string options = meter.options();
    char out[256];
    struct Case {
        const char* host;
        const char* model;
        char* out;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "host must not be null"},
        {"127.0.0.1", nullptr, nullptr, "meter must not be null"},
        {"127.0.0.1", "em133", nullptr, "out must not be null"},
    };
    for (const Case& c : cases) {
        char err[64] = "";
        EXPECT_EQ(
            kolvane_list_logs(c.host, c.model, options.c_str(), c.out, sizeof out, err, sizeof err),
            -1);
        EXPECT_STREQ(err, c.message);
    }
    EXPECT_EQ(meter.sim.connections_accepted(), 0u);
}

}  // namespace

namespace {

// A caller that knows the meter's logs asks only about those: the mask's files, in order.
TEST(ListLogs, AsksOnlyTheFilesOfTheMask) {
    SimMeter meter;
    meter.sim.set_log(0, ksim::LogFile{});
    meter.sim.set_log(2, datalog(4, {0x1100}));
    meter.sim.set_log(3, datalog(4, {0x1100}));
    const ListResult result = list_logs(meter, "em133", ",\"files\":5");
    ASSERT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(meter.traffic(), concat({BARE_EM133_READS, file_info_exchange(0, 0),
                                       file_info_exchange(2, 0), file_info_exchange(2, 2)}));
    for (const char* bad : {"0", "131072", "-1"}) {
        EXPECT_EQ(list_logs(meter, "em133", std::string(",\"files\":") + bad).err,
                  "options.files must be 1-131071");
    }
}

}  // namespace
