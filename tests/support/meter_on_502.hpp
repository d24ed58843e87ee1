// SPDX-License-Identifier: MIT
// The em133 bundle and the diagnostics export always talk to TCP port 502, so their tests serve
// the simulated meter there. CTest runs the suites that do under one resource lock, in turn.
// A port that cannot be served fails the test: it never skips.
#pragma once

#include <gtest/gtest.h>

#include <exception>

#include "simulator.hpp"
#include "support/temp_dir.hpp"

namespace ktest {

class MeterOn502 : public ::testing::Test {
protected:
    void SetUp() override {
        try {
            sim.start(502);
        } catch (const std::exception& e) {
            FAIL() << "cannot serve the meter on 127.0.0.1:502: " << e.what();
        }
    }

    ksim::Simulator sim{ksim::Model::em133};
    TempDir dir;
    char err[256] = "untouched";
};

}  // namespace ktest
