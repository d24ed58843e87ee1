// SPDX-License-Identifier: MIT
// A simulated meter on loopback for the log tests: the simulator, the options text that
// points a call at it, a library client connected to it, and its traffic as short texts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "modbus/client.hpp"
#include "simulator.hpp"
#include "support/journal.hpp"

namespace ktest {

// Short time-out: a test that waits for one must stay fast.
inline constexpr int TIMEOUT_MS = 300;

class SimMeter {
public:
    explicit SimMeter(ksim::Model model = ksim::Model::em133) : sim(model) { sim.start(); }

    std::string options() const {
        return "{\"port\":" + std::to_string(sim.port()) +
               ",\"timeout_ms\":" + std::to_string(TIMEOUT_MS) + "}";
    }

    // A connected library client; the journal starts empty after it.
    std::unique_ptr<kolvane::ModbusTcpClient> connect() {
        kolvane::ConnectionOptions connection;
        connection.port = sim.port();
        connection.timeout_ms = TIMEOUT_MS;
        auto client = std::make_unique<kolvane::ModbusTcpClient>("127.0.0.1", connection);
        client->connect();
        sim.clear_journal();
        return client;
    }

    std::vector<std::string> traffic() const { return ktest::traffic(sim); }

    // The failure of a request that no reply answered in time.
    std::string no_reply(int unit = 1) const {
        return "no reply from 127.0.0.1:" + std::to_string(sim.port()) + " (unit " +
               std::to_string(unit) + ") within " + std::to_string(TIMEOUT_MS) + " ms";
    }

    ksim::Simulator sim;
};

// An em133 set up for high resolution (PT ratio 1.0, resolution on), two energy decimals and
// energy register 1 counting kWh: voltages print 1 decimal, currents 2, powers 3, energies 2.
inline void set_scaled_em133(ksim::Simulator& sim) {
    sim.set_pt_ratio(10);
    sim.set_high_resolution(1);
    sim.set_registers(2391, {0, 0});  // between the resolution setting and the energy decimals
    sim.set_energy_decimals(2);
    sim.set_energy_units({1});
}

// The scaling reads the library makes on a meter set up by set_scaled_em133: the resolution
// setting and the energy decimals in one range; the unit entries at once, refused, then one by
// one until the refused entry 2 ends them.
inline const std::vector<std::string> SCALED_EM133_READS = {
    "FC3 2305 1", "FC3 2390 4", "FC3 56672 48", "FC3 56672 4", "FC3 56676 4",
};

// The scaling reads on a meter without any scaling registers: the refused range and PT ratio
// skip the resolution setting, the refused first unit entry ends the unit reads.
inline const std::vector<std::string> BARE_EM133_READS = {"FC3 2305 1", "FC3 2390 4", "FC3 2393 1",
                                                          "FC3 56672 48", "FC3 56672 4"};

// The three transactions of one File Info exchange.
inline std::vector<std::string> file_info_exchange(int file_id, int variant) {
    return {
        "FC16 64944 [9," + std::to_string(file_id) + ",0,0,0," + std::to_string(variant) + ",0,0]",
        "FC3 64952 8", variant == 0 ? "FC3 64960 14" : "FC3 64960 18"};
}

inline std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace ktest
