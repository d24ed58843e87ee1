// SPDX-License-Identifier: MIT
// A meter whose log never ends and that has no record count to offer: the transfer stops
// after 70000 block requests, having delivered every record once.
#include <gtest/gtest.h>

#include "logs/transfer.hpp"
#include "support/log_capture.hpp"
#include "support/sim_meter.hpp"

using namespace ktest;

TEST(BlockCap, EndlessLogStopsAfter70000BlockRequests) {
    SimMeter meter;
    meter.sim.set_journal_enabled(false);  // 280,000 requests: keep the simulator small
    ksim::LogFile file;
    file.endless = true;
    file.records_per_block = 1;
    meter.sim.set_log(1, file);
    auto client = meter.connect();

    LogCapture log;
    int seen = 0;
    uint16_t last_seq = 0;
    bool in_order = true;
    const int delivered =
        kolvane::read_log_file(*client, 1, -1, [&](std::span<const uint16_t> record) {
            if (seen > 0 && record[1] != uint16_t(last_seq + 1)) in_order = false;
            last_seq = record[1];
            ++seen;
        });

    EXPECT_EQ(delivered, 70000);
    EXPECT_EQ(seen, 70000);
    EXPECT_TRUE(in_order) << "sequence numbers wrap past 65535 without a gap or a repeat";
    const auto debug = log.at_level(3);
    ASSERT_FALSE(debug.empty());
    EXPECT_EQ(debug.back(), "File 1: 70000 records in 70000 blocks");
}
