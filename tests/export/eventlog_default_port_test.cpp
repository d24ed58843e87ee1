// SPDX-License-Identifier: MIT
// The short event log export has no options: it reaches the meter on port 502, unit 1.
#include <gtest/gtest.h>

#include "kolvane.h"
#include "support/event_sample.hpp"
#include "support/files.hpp"
#include "support/meter_on_502.hpp"

namespace {

using EventlogDefaultPort = ktest::MeterOn502;

TEST_F(EventlogDefaultPort, ShortExportWritesTheSameFileAsTheLongForm) {
    sim.set_log(0, ktest::sample_event_log());
    const std::string path = dir.file("events.csv");
    EXPECT_EQ(kolvane_export_eventlog("127.0.0.1", "pm335", 0, path.c_str(), err, sizeof err), 4);
    EXPECT_STREQ(err, "");
    EXPECT_EQ(ktest::read_file(path), ktest::sample_event_csv());
    for (const ksim::Request& request : sim.journal()) EXPECT_EQ(request.unit, 1);
}

}  // namespace
