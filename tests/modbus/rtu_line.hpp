// SPDX-License-Identifier: MIT
// One simulated meter served at once on Modbus TCP and on an RTU line (one end of a socat
// pseudo-terminal pair, or RTU frames over TCP), with the options texts that reach it each way.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "capi/args.hpp"
#include "simulator.hpp"
#include "support/pty_pair.hpp"
#include "support/sim_fixture.hpp"

namespace ktest {

struct Line {
    const char* name;
    bool serial;  // a pseudo-terminal, else RTU over TCP
    int baud;
};

inline void PrintTo(const Line& line, std::ostream* out) { *out << line.name; }

class RtuMeter {
public:
    RtuMeter(const ksim::Meter& meter, const Line& line, ksim::RtuLine rtu = {})
        : line_(line), pty_(line.serial ? std::make_unique<PtyPair>() : nullptr), sim_(meter) {
        tcp_port_ = sim_.start();
        rtu.baud = line.baud;
        if (line.serial) {
            sim_.start_rtu_serial(pty_->meter_end(), rtu);
        } else {
            rtu_port_ = sim_.start_rtu_tcp(0, LOOPBACK, rtu);
        }
    }

    ksim::Simulator& sim() { return sim_; }
    PtyPair& pty() { return *pty_; }  // on a serial line
    std::string host() const { return line_.serial ? pty_->client_end() : LOOPBACK; }
    std::string tcp_options() const {
        return "{\"port\":" + std::to_string(tcp_port_) + ",\"timeout_ms\":3000}";
    }
    // `extra` is more members, each with a leading comma.
    std::string rtu_options(const std::string& extra = "", int timeout_ms = HANG_GUARD_MS) const {
        std::string text = "{\"baud\":" + std::to_string(line_.baud) +
                           ",\"timeout_ms\":" + std::to_string(timeout_ms);
        if (!line_.serial) text += ",\"rtu\":1,\"port\":" + std::to_string(rtu_port_);
        return text + extra + "}";
    }
    kolvane::ConnectionOptions connection(int timeout_ms = HANG_GUARD_MS) const {
        return kolvane::parse_options(rtu_options("", timeout_ms).c_str());
    }

private:
    Line line_;
    std::unique_ptr<PtyPair> pty_;  // made first, gone last: socat outlives the serial line
    ksim::Simulator sim_;
    std::uint16_t tcp_port_ = 0;
    std::uint16_t rtu_port_ = 0;
};

}  // namespace ktest
