// SPDX-License-Identifier: MIT
// The command line of kolvane-sim (the program only; the kolvane_sim library knows nothing of it).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "simulator.hpp"

namespace ksim {

// --refuse-file-info: File Info of log `file` refused with exception `code` on the read of its
// data, for the next `times` File Info requests of that file (nullopt: always).
struct FileInfoRefusal {
    int file = 0;
    std::uint8_t code = 0;
    std::optional<int> times;
};

struct CommandLine {
    Model model = Model::em133;
    std::uint16_t port = 0;  // 0: a free port chosen by the kernel
    std::string listen = "127.0.0.1";
    int records = 2880;                   // in each of the data logs 1-3
    std::optional<std::uint32_t> serial;  // wins over the default meter's and the meter file's
    std::string meter_file;               // empty: the default meter as it is
    std::vector<std::uint8_t> units;      // a gateway: one meter per unit id; empty: one meter
    std::chrono::milliseconds latency{0};
    std::size_t max_connections = 0;  // 0: unlimited
    std::chrono::milliseconds min_gap{0};
    bool journal = false;  // one line per request on standard error
    WallClock wall;        // the meter's clock on a time zone's wall time; empty: on UTC
    // Circular logs of at most this many records, which go on recording every `record_every`;
    // nullopt: the logs stay as built.
    std::optional<std::uint16_t> wrap;
    std::chrono::seconds record_every{900};
    bool outage = false;  // an hour without power a day before the newest record
    // Gateway weather on demand: units that never answer, register refusals (--refuse, as
    // fault rules), File Info refusals.
    std::vector<std::uint8_t> muted_units;
    std::vector<Fault> refusals;
    std::vector<FileInfoRefusal> file_info_refusals;
    // Modbus RTU besides Modbus TCP: on a serial device, on a TCP port carrying RTU frames, both
    // on one line (speed, character format, echo); the replies with a bad CRC (--bad-crc).
    std::string rtu_device;  // empty: none
    std::optional<std::uint16_t> rtu_tcp;
    RtuLine rtu_line;
    std::vector<Fault> bad_crcs;
};

// Exit statuses of kolvane-sim.
inline constexpr int EXIT_USAGE = 2;    // a bad or unknown argument, a bad meter file
inline constexpr int EXIT_RUNTIME = 1;  // e.g. the port cannot be bound

// Parses the arguments into `line`. Returns the exit status when the program ends here: 0 after
// --help (the usage went to standard output), EXIT_USAGE after a bad or unknown argument (one line
// went to standard error).
std::optional<int> parse_command_line(int argc, const char* const* argv, CommandLine& line);

}  // namespace ksim
