// The bundles always talk to TCP port 502, so these tests serve the simulated meter there.
// Only this test program may hold the port (CTest runs it under a resource lock).
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "export_support/scratch_dir.hpp"
#include "simulator.hpp"

namespace kolvane_test {

class MeterOn502 : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok()) << "no scratch directory";
        try {
            sim.start(502);
        } catch (const std::exception& e) {
            GTEST_SKIP() << "cannot serve the meter on 127.0.0.1:502: " << e.what();
        }
    }

    ksim::Simulator sim{ksim::Model::em133};
    ScratchDir dir;
    char err[256] = "untouched";
};

}  // namespace kolvane_test
