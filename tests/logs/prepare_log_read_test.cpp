// SPDX-License-Identifier: MIT
// prepare_log_read: select, File Info variant 0, and the seek only when the file has records
// and its read position is away from its start.
#include <gtest/gtest.h>

#include "logs/transfer.hpp"
#include "support/log_capture.hpp"
#include "support/sim_meter.hpp"

using namespace ktest;

namespace {

TEST(PrepareLogRead, SeeksOnlyWhenRecordsAndIndicesDiffer) {
    struct Case {
        const char* what;
        uint16_t records, read_index, start_index;
        std::vector<std::string> seek;
    };
    const Case cases[] = {
        {"away from start", 5, 7, 2, {"FC16 63120 [3,4,0,0,2,0]"}},
        {"at start", 5, 2, 2, {}},
        {"no records", 0, 7, 2, {}},
        {"start index 65535", 1, 0, 65535, {"FC16 63120 [3,4,0,0,65535,0]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimMeter meter;
        ksim::LogFile file;
        file.info_records = c.records;
        file.read_index = c.read_index;
        file.start_index = c.start_index;
        meter.sim.set_log(4, file);
        auto client = meter.connect();
        LogCapture log;

        EXPECT_EQ(kolvane::prepare_log_read(*client, 4), c.records);

        EXPECT_EQ(meter.traffic(),
                  concat({{"FC16 63120 [5,4,0,0]"}, file_info_exchange(4, 0), c.seek}));
        EXPECT_EQ(
            log.entries(),
            (std::vector<LogEntry>{{2, "File 4: " + std::to_string(c.records) + " records"}}));
    }
}

TEST(PrepareLogRead, UnavailableFileInfoGivesMinusOneAndWarning) {
    SimMeter meter;
    ksim::LogFile file;
    file.info_records = 5;
    file.read_index = 7;
    file.var0_refusal = {2, false};
    meter.sim.set_log(12, file);
    auto client = meter.connect();
    LogCapture log;

    EXPECT_EQ(kolvane::prepare_log_read(*client, 12), -1);

    EXPECT_EQ(meter.traffic(), concat({{"FC16 63120 [5,12,0,0]"}, file_info_exchange(12, 0)}));
    EXPECT_EQ(log.entries(),
              (std::vector<LogEntry>{{1, "File 12: File Info unavailable, record count unknown"}}));
}

TEST(PrepareLogRead, RefusedSelectFails) {
    SimMeter meter;
    meter.sim.set_log(1, ksim::LogFile{});
    meter.sim.add_fault(ksim::Fault::exception(4).writes(63120));
    auto client = meter.connect();

    EXPECT_THROW(kolvane::prepare_log_read(*client, 1), std::runtime_error);
    EXPECT_EQ(meter.traffic(), std::vector<std::string>{"FC16 63120 [5,1,0,0]"});
}

}  // namespace
