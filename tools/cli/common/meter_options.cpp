// SPDX-License-Identifier: MIT
#include "common/meter_options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace kcli {
namespace {

// The library's own limits, checked here so that a bad value is the tool's usage error.
constexpr int MAX_TIMEOUT_MS = 3600000;
constexpr double MAX_DEADLINE_S = 86400;

}  // namespace

int MeterOptions::deadline_ms() const {
    if (!deadline_s) return 10 * timeout_ms;
    if (*deadline_s <= 0) return 0;
    return std::max(1, static_cast<int>(std::lround(*deadline_s * 1000)));
}

std::string MeterOptions::options_text() const {
    std::string text = "{";
    auto member = [&text](const char* name, int value) {
        if (text.size() > 1) text += ',';
        text += std::string("\"") + name + "\":" + std::to_string(value);
    };
    if (port) member("port", *port);
    if (unit) member("unit_id", *unit);
    member("timeout_ms", timeout_ms);
    if (deadline_ms() > 0) member("deadline_ms", deadline_ms());
    if (after_seq) member("after_seq", *after_seq);
    if (after_seq && after_time_ms) text += ",\"after_time_ms\":" + std::to_string(*after_time_ms);
    if (gap_ms && *gap_ms > 0) member("request_gap_ms", *gap_ms);
    if (tries) member("tries", *tries);
    if (line.rtu_over_tcp) member("rtu", 1);
    if (line.baud) member("baud", *line.baud);
    if (line.parity) member("parity", *line.parity);
    if (line.stop_bits) member("stop_bits", *line.stop_bits);
    if (line.echo) member("echo", 1);
    member("machine_turns", 1);
    return text + "}";
}

const char* MeterOptions::options_arg(std::string& storage) const {
    storage = options_text();
    return storage.c_str();
}

std::optional<int> parity_value(const std::string& text) {
    if (text == "none") return 0;
    if (text == "odd") return 1;
    if (text == "even") return 2;
    return std::nullopt;
}

std::string transport_of(const std::string& host, const LineSettings& line) {
    if (host.starts_with('/')) return "rtu";
    return line.rtu_over_tcp ? "rtu+tcp" : "tcp";
}

std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string canonical_model(const std::string& model) {
    const std::string name = lower(model);
    return name == "pm335" ? "em235" : name;
}

bool known_model(const std::string& model) {
    const std::string name = canonical_model(model);
    return name == "em133" || name == "em235";
}

// A HOST that is a device path ("/dev/ttyUSB0") is a serial line; --rtu speaks RTU to a
// transparent serial server at HOST:PORT.
void add_line_options(CLI::App& command, LineSettings& line) {
    command.add_flag("--rtu", line.rtu_over_tcp,
                     "Modbus RTU over TCP, to a transparent serial server at HOST[:PORT]; a HOST "
                     "that is a device path (/dev/ttyUSB0) is a serial line");
    command
        .add_option("--baud", line.baud,
                    "Speed of the RS-485 line, 1200-230400 baud (default 9600)")
        ->type_name("N")
        ->check(CLI::IsMember({1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400})
                    .description(""));
    command
        .add_option_function<std::string>(
            "--parity", [&line](const std::string& text) { line.parity = parity_value(text); },
            "Parity of a serial line: none, odd or even (default even)")
        ->type_name("PARITY")
        ->check(CLI::IsMember({"none", "odd", "even"}).description(""));
    command.add_option("--stop-bits", line.stop_bits, "Stop bits of a serial line, 1 or 2")
        ->type_name("N")
        ->check(CLI::IsMember({1, 2}).description(""));
    command.add_flag("--echo", line.echo,
                     "The serial adapter echoes what it sends: its echo is dropped");
}

void add_verbose_flag(CLI::App& command, MeterOptions& options) {
    auto* verbose = command.add_flag_function(
        "-v,--verbose",
        [&options](std::int64_t count) {
            options.verbosity = static_cast<int>(std::max<std::int64_t>(count, 1));
        },
        "The library's log on standard error: warnings are shown without -v; -vv adds information, "
        "-vvv debug messages");
    command
        .add_flag_callback(
            "-q,--quiet", [&options] { options.verbosity = 0; }, "Show no warnings, only failures")
        ->excludes(verbose);
}

CLI::Option* add_meter_options(CLI::App& command, MeterOptions& options, bool connection) {
    CLI::Option* meter =
        command.add_option("-m,--meter", options.meter, "Meter model: em133, em235 or pm335")
            ->type_name("MODEL")
            ->required()
            ->check(CLI::IsMember({"em133", "em235", "pm335"}, CLI::ignore_case).description(""));
    if (connection) {
        // The ranges are named in the descriptions, so the value's name stays short in messages.
        command
            .add_option("-p,--port", options.port, "TCP port of the meter, 1-65535 (default 502)")
            ->type_name("PORT")
            ->check(CLI::Range(1, 65535).description(""));
        command.add_option("-u,--unit", options.unit, "Modbus unit id, 0-255 (default 1)")
            ->type_name("ID")
            ->check(CLI::Range(0, 255).description(""));
        command
            .add_option("-t,--timeout", options.timeout_ms,
                        "Time-out of each wait, 100-3600000 milliseconds")
            ->type_name("MS")
            ->capture_default_str()
            ->check(CLI::Range(100, MAX_TIMEOUT_MS).description(""));
        command
            .add_option(
                "--deadline", options.deadline_s,
                "Limit of the whole call, 0-86400 seconds (default 10 x the time-out; 0: none)")
            ->type_name("SECONDS")
            ->check(CLI::Validator(
                [](const std::string& text) {
                    double seconds = -1;
                    CLI::detail::lexical_cast(text, seconds);
                    return seconds >= 0 && seconds <= MAX_DEADLINE_S
                               ? std::string()
                               : "Value " + text + " not in range 0 to 86400";
                },
                ""));
        command
            .add_option("--gap", options.gap_ms,
                        "Least pause between two requests, 0-10000 milliseconds, as a Modbus "
                        "gateway or a slow bus wants (default 0)")
            ->type_name("MS")
            ->check(CLI::Range(0, MAX_GAP_MS).description(""));
        command
            .add_option("--tries", options.tries,
                        "How often a request is sent while the gateway or meter answers busy, "
                        "1-10, the pause doubling from the gap (default 3)")
            ->type_name("N")
            ->check(CLI::Range(1, MAX_TRIES).description(""));
        add_line_options(command, options.line);
    }
    add_verbose_flag(command, options);
    return meter;
}

}  // namespace kcli
