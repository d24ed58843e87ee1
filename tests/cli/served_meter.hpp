// SPDX-License-Identifier: MIT
// A simulated meter inside the test program, for tests that shape its answers or read its
// journal; the tool reaches it over loopback like any meter. A meter that cannot be served
// (port 502 taken) fails the test.
#pragma once

#include "simulator.hpp"

#include <cstdint>
#include <string>

namespace cli_test {

class ServedMeter {
public:
    explicit ServedMeter(ksim::Model model = ksim::Model::em133, int records = 2880,
                         std::uint16_t port = 0)
        : sim(ksim::default_meter(model, records)), port_(sim.start(port)) {}

    std::string port() const { return std::to_string(port_); }

    ksim::Simulator sim;

private:
    std::uint16_t port_;
};

}  // namespace cli_test
