// SPDX-License-Identifier: MIT
// A meter simulator on a loopback port the kernel picks, and the ways a test reaches it:
// the options text of the C interface and the connection options of the internal client.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "capi/args.hpp"
#include "simulator.hpp"

namespace ktest {

inline constexpr const char* LOOPBACK = "127.0.0.1";
// Long enough never to fire on a healthy exchange, short enough to end a hung test.
inline constexpr int HANG_GUARD_MS = 3000;

class SimTest : public ::testing::Test {
protected:
    ksim::Simulator& serve(ksim::Model model = ksim::Model::em133) {
        sim_ = std::make_unique<ksim::Simulator>(model);
        port_ = sim_->start();
        return *sim_;
    }
    ksim::Simulator& serve(const ksim::Meter& meter) {
        sim_ = std::make_unique<ksim::Simulator>(meter);
        port_ = sim_->start();
        return *sim_;
    }
    ksim::Simulator& sim() { return *sim_; }
    uint16_t port() const { return port_; }

    std::string options(int timeout_ms = HANG_GUARD_MS) const {
        return "{\"port\":" + std::to_string(port_) +
               ",\"timeout_ms\":" + std::to_string(timeout_ms) + "}";
    }
    kolvane::ConnectionOptions connection(int timeout_ms = HANG_GUARD_MS) const {
        kolvane::ConnectionOptions result;
        result.port = port_;
        result.timeout_ms = timeout_ms;
        return result;
    }

    // The failure of a request to this simulator that no reply answered in time.
    std::string no_reply(int timeout_ms, int unit = 1) const {
        return "no reply from 127.0.0.1:" + std::to_string(port_) + " (unit " +
               std::to_string(unit) + ") within " + std::to_string(timeout_ms) + " ms";
    }

private:
    std::unique_ptr<ksim::Simulator> sim_;
    uint16_t port_ = 0;
};

}  // namespace ktest
