// SPDX-License-Identifier: MIT
// A test suite that shares one default em133 simulator among its tests.
#pragma once

#include "support/process.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace cli_test {

class SimSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sim_ = std::make_unique<Simulator>(); }
    static void TearDownTestSuite() { sim_.reset(); }
    void SetUp() override { ASSERT_NE(sim_->port(), 0) << "kolvane-sim did not start"; }

    static std::string port() { return sim_->port_text(); }

    static inline std::unique_ptr<Simulator> sim_;
};

}  // namespace cli_test
