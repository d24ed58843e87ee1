// SPDX-License-Identifier: MIT
// A simulated meter on a kernel-chosen loopback port, with the options text that reaches it,
// and the receivers for the caller callbacks of the event log operations.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "simulator.hpp"
#include "support/callbacks.hpp"

namespace ktest {

class EventMeterTest : public testing::Test {
protected:
    void SetUp() override {
        const std::uint16_t port = sim.start();
        options = "{\"port\":" + std::to_string(port) + "}";
    }

    ksim::Simulator sim{ksim::Model::em133};
    std::string options;
    char err[256] = "untouched";
};

}  // namespace ktest
