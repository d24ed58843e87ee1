// SPDX-License-Identifier: MIT
// The options every meter command shares and the library's options text made from them.
#pragma once

#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace kcli {

inline constexpr int DEFAULT_TIMEOUT_MS = 5000;
inline constexpr int MAX_GAP_MS = 10000;  // the library's limit of request_gap_ms
inline constexpr int MAX_TRIES = 10;      // the library's limit of tries

// How the meter's line is reached when it is not Modbus TCP: RTU frames on a serial device (the
// host is its path, "/dev/ttyUSB0") or over a TCP connection to a transparent serial server.
struct LineSettings {
    bool rtu_over_tcp = false;
    std::optional<int> baud;
    std::optional<int> parity;  // 0 none, 1 odd, 2 even: the library's values
    std::optional<int> stop_bits;
    bool echo = false;  // the adapter echoes what it sends
};

// "none", "odd" or "even" as the library's parity value; nothing for any other text.
std::optional<int> parity_value(const std::string& text);

// The Modbus transport of a meter: "tcp", "rtu" (a serial line) or "rtu+tcp".
std::string transport_of(const std::string& host, const LineSettings& line);

struct MeterOptions {
    std::string meter;  // the model as named by -m (lower case); empty when -m was not given
    std::optional<int> port;
    std::optional<int> unit;
    int timeout_ms = DEFAULT_TIMEOUT_MS;
    std::optional<double> deadline_s;  // absent: 10 x the time-out; 0: no deadline
    int verbosity = 1;                 // warnings unless -q or -v...
    std::optional<int> after_seq;      // the log streams' --after: only newer records
    // The meter's stamp of the record at after_seq, in milliseconds, checked on the meter's.
    std::optional<long long> after_time_ms;
    std::optional<int> gap_ms;  // --gap: the least pause between two requests
    std::optional<int> tries;   // --tries: how often a request answered busy is sent
    LineSettings line;          // --rtu, --baud, --parity, --stop-bits, --echo

    // The whole call's limit in milliseconds, 0 for none.
    int deadline_ms() const;

    // The flat JSON object the library takes, e.g.
    // {"port":1502,"timeout_ms":5000,"deadline_ms":50000,"machine_turns":1}: every kolvane
    // command takes its turns at a gateway with the others on this machine.
    std::string options_text() const;
    // options_text() kept in `storage`, as the library's argument.
    const char* options_arg(std::string& storage) const;
};

// `text` in lower case (ASCII).
std::string lower(std::string text);

// The model as the library names it in its documents: pm335 is the em235.
std::string canonical_model(const std::string& model);
// True for em133, em235 and pm335 in any case.
bool known_model(const std::string& model);

// -m/--meter (required), -q and -v on every command that names a model; -p, -u, -t, --deadline
// --gap and --tries as well when `connection`. Returns the -m option, for commands that can do
// without it.
CLI::Option* add_meter_options(CLI::App& command, MeterOptions& options, bool connection = true);

// --rtu, --baud, --parity, --stop-bits and --echo: a meter on an RS-485 line.
void add_line_options(CLI::App& command, LineSettings& line);

// -q and -v alone, for commands that take no meter options.
void add_verbose_flag(CLI::App& command, MeterOptions& options);

}  // namespace kcli
