// SPDX-License-Identifier: MIT
// The em133 bundle and the diagnostics export always talk to port 502 with a 30 s time-out,
// so their faults are served there and are only those that end at once.
#pragma once

#include <gtest/gtest.h>

#include <chrono>

#include "fault_check.hpp"
#include "support/meter_on_502.hpp"

namespace kfault {

class On502 : public ktest::MeterOn502 {
protected:
    void SetUp() override {
        load(sim);
        MeterOn502::SetUp();
    }

    // The fixture meter with data logs 2 and 3 as well, healthy.
    static void load(ksim::Simulator& meter) {
        load_fixture(meter);
        meter.set_log(2, data_log());
        meter.set_log(3, data_log());
        meter.set_register(99, 0x0001);  // the diagnostics words at register number 100
        meter.set_register(100, 0x0002);
    }

    // Runs `call` and checks the time limit and that no descriptor stays open.
    template <class Call>
    int timed(Call&& call) {
        const int before = ktest::open_descriptors();
        const auto start = std::chrono::steady_clock::now();
        const int status = call();
        const auto spent = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(sim.wait_until_idle()) << "connection left open";
        EXPECT_EQ(ktest::open_descriptors(), before) << "descriptors left open";
        EXPECT_LE(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count(), MARGIN_MS)
            << "ms spent";
        return status;
    }
};

}  // namespace kfault
