// SPDX-License-Identifier: MIT
#include "command_line.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "help_format.hpp"
#include "zone_clock.hpp"

namespace ksim {

namespace {

// A usage error whose message is exactly this (CLI11's own messages would name the option
// differently).
[[noreturn]] void refuse(const std::string& message) { throw CLI::ValidationError(message); }

// A decimal number in [low, high]. Decimal only, as kolvane-sim always read its numbers: CLI11's
// own conversion would also take 0x hex and 010 as octal.
long long decimal(const std::string& text, long long low, long long high,
                  const std::string& refusal) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || value < low || value > high) refuse(refusal);
    return value;
}

// Unit ids 0-255 separated by commas, each named once: "1,2,5".
std::vector<std::uint8_t> unit_list(const std::string& text) {
    const std::string refusal = "--units must be unit ids 0-255 separated by commas, e.g. 1,2,5";
    std::vector<std::uint8_t> units;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = text.find(',', begin);
        const std::string item = text.substr(begin, comma - begin);
        if (item.empty()) refuse(refusal);
        const auto unit = static_cast<std::uint8_t>(decimal(item, 0, 255, refusal));
        if (std::find(units.begin(), units.end(), unit) != units.end())
            refuse("--units names unit " + std::to_string(unit) + " twice");
        units.push_back(unit);
        if (comma == std::string::npos) return units;
        begin = comma + 1;
    }
}

// The parts of `text` between colons.
std::vector<std::string> colon_parts(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t colon; (colon = text.find(':', begin)) != std::string::npos; begin = colon + 1)
        parts.push_back(text.substr(begin, colon - begin));
    parts.push_back(text.substr(begin));
    return parts;
}

// What a refusal option names: "WHAT:CODE[:COUNT]".
struct RefusalText {
    long long what = 0;
    std::uint8_t code = 0;
    std::optional<int> times;  // nullopt: every request
};

// "WHAT:CODE[:COUNT]" with WHAT in [0, what_high], an exception code 1-255 and a count of
// requests 1-1000000; anything else is refused with `refusal`.
RefusalText refusal_text(const std::string& text, long long what_high, const std::string& refusal) {
    const std::vector<std::string> parts = colon_parts(text);
    if (parts.size() < 2 || parts.size() > 3) refuse(refusal);
    for (const std::string& part : parts)
        if (part.empty()) refuse(refusal);
    RefusalText named;
    named.what = decimal(parts[0], 0, what_high, refusal);
    named.code = static_cast<std::uint8_t>(decimal(parts[1], 1, 255, refusal));
    if (parts.size() == 3) named.times = static_cast<int>(decimal(parts[2], 1, 1000000, refusal));
    return named;
}

// A number of milliseconds, 0-60000.
std::chrono::milliseconds milliseconds(const std::string& text, const std::string& name) {
    return std::chrono::milliseconds(decimal(text, 0, 60000, name + " must be 0-60000 ms"));
}

// An option that takes one value and hands it to `take`. CLI11 is told the value may be missing,
// so that a missing value reaches this check and is named in kolvane-sim's own words. The check
// runs as the option is met, so the first bad argument on the line is the one reported; given
// twice, both values are checked and the last one counts.
void add_value_option(CLI::App& app, const std::string& name, const std::string& value_name,
                      const std::string& description,
                      std::function<void(const std::string&)> take) {
    app.add_option_function<std::string>(
           name,
           [name, take = std::move(take)](const std::string& text) {
               if (text.empty()) refuse(name + " needs a value");
               take(text);
           },
           description)
        ->type_name(value_name)
        ->expected(0, 1)
        ->trigger_on_parse();
}

// Modbus RTU: where, how fast, and the line's faults.
void add_rtu_options(CLI::App& app, CommandLine& line) {
    add_value_option(app, "--rtu-device", "PATH",
                     "Also serve Modbus RTU on this serial device (set raw to --baud, --parity, "
                     "--stop-bits), e.g. one end of a pseudo-terminal pair",
                     [&line](const std::string& text) { line.rtu_device = text; });
    add_value_option(app, "--rtu-tcp", "PORT",
                     "Also serve RTU frames over TCP on this port of --listen, as a serial device "
                     "server's transparent mode, 0-65535 (0: a free port chosen by the kernel)",
                     [&line](const std::string& text) {
                         line.rtu_tcp = static_cast<std::uint16_t>(
                             decimal(text, 0, 65535, "--rtu-tcp must be 0-65535"));
                     });
    add_value_option(app, "--baud", "N",
                     "RTU line speed: 1200, 2400, 4800, 9600 (default), 19200, 38400, 57600, "
                     "115200 or 230400; replies come at its pace",
                     [&line](const std::string& text) {
                         const std::string refusal =
                             "--baud must be 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 "
                             "or 230400";
                         const auto baud = static_cast<int>(decimal(text, 1, 230400, refusal));
                         constexpr int rates[] = {1200,  2400,  4800,   9600,  19200,
                                                  38400, 57600, 115200, 230400};
                         if (std::find(std::begin(rates), std::end(rates), baud) == std::end(rates))
                             refuse(refusal);
                         line.rtu_line.baud = baud;
                     });
    add_value_option(app, "--parity", "none|even|odd", "RTU line parity (default even)",
                     [&line](const std::string& text) {
                         if (text == "none")
                             line.rtu_line.parity = 'N';
                         else if (text == "even")
                             line.rtu_line.parity = 'E';
                         else if (text == "odd")
                             line.rtu_line.parity = 'O';
                         else
                             refuse("--parity must be none, even or odd");
                     });
    add_value_option(app, "--stop-bits", "1|2", "RTU line stop bits (default 1)",
                     [&line](const std::string& text) {
                         line.rtu_line.stop_bits =
                             static_cast<int>(decimal(text, 1, 2, "--stop-bits must be 1 or 2"));
                     });
    add_value_option(
        app, "--bad-crc", "R[:N]",
        "RTU: reply with a bad CRC to the next N requests (1-1000000; no N: to every one) that "
        "read or write register R (0-65535); repeatable",
        [&line](const std::string& text) {
            const std::string refusal =
                "--bad-crc must be REGISTER[:COUNT]: a register 0-65535, a count of requests "
                "1-1000000";
            const std::vector<std::string> parts = colon_parts(text);
            if (parts.size() > 2 || parts[0].empty() || (parts.size() == 2 && parts[1].empty()))
                refuse(refusal);
            Fault rule = Fault::bad_crc();
            rule.range(static_cast<std::uint16_t>(decimal(parts[0], 0, 65535, refusal)));
            if (parts.size() == 2)
                rule.times(static_cast<int>(decimal(parts[1], 1, 1000000, refusal)));
            line.bad_crcs.push_back(rule);
        });
    app.add_flag_callback(
           "--echo", [&line] { line.rtu_line.echo = true; },
           "RTU: send every request's bytes back before the reply, as an RS-485 adapter without "
           "echo suppression does")
        ->trigger_on_parse();
}

void add_options(CLI::App& app, CommandLine& line) {
    // Help is also taken as it is met: after a bad argument it comes too late, before one it wins.
    app.set_help_flag();
    app.add_flag_callback(
           "-h,--help", [] { throw CLI::CallForHelp(); }, "Print this help message and exit")
        ->trigger_on_parse();
    add_value_option(app, "--model", "MODEL",
                     "Meter model: em133 (default), em235 or pm335 (= em235)",
                     [&line](const std::string& text) {
                         const auto model = parse_model(text);
                         if (!model) refuse("--model must be em133 or em235");
                         line.model = *model;
                     });
    add_value_option(
        app, "--port", "N", "TCP port, 0-65535; 0 (default): a free port chosen by the kernel",
        [&line](const std::string& text) {
            line.port =
                static_cast<std::uint16_t>(decimal(text, 0, 65535, "--port must be 0-65535"));
        });
    add_value_option(app, "--listen", "ADDR",
                     "Address to listen on, IPv4 or IPv6 such as ::1 (default 127.0.0.1)",
                     [&line](const std::string& text) { line.listen = text; });
    // A meter announces a log's record count in one 16-bit register.
    add_value_option(
        app, "--records", "N", "Records in each of the data logs 1-3, 0-65535 (default 2880)",
        [&line](const std::string& text) {
            line.records =
                static_cast<int>(decimal(text, 0, 65535,
                                         "--records must be 0-65535: a meter announces at most "
                                         "65535 records per log"));
        });
    add_value_option(app, "--serial", "N",
                     "Serial number, 0-4294967295, to tell several simulated meters apart",
                     [&line](const std::string& text) {
                         line.serial = static_cast<std::uint32_t>(
                             decimal(text, 0, 4294967295LL, "--serial must be 0-4294967295"));
                     });
    add_value_option(app, "--meter", "FILE",
                     "Meter description file (its format: kolvane-sim.md in the documentation, "
                     "/usr/share/doc/kolvane-tools/)",
                     [&line](const std::string& text) { line.meter_file = text; });
    add_value_option(app, "--units", "LIST",
                     "Play a gateway: one meter per unit id listed (0-255, e.g. 1,2,5), serials "
                     "counting up from --serial; other unit ids get exception 11",
                     [&line](const std::string& text) { line.units = unit_list(text); });
    add_value_option(
        app, "--latency", "MS", "Delay every reply by MS milliseconds, 0-60000",
        [&line](const std::string& text) { line.latency = milliseconds(text, "--latency"); });
    add_value_option(app, "--max-connections", "N",
                     "Close connections beyond N open ones at once, 0-1000 (0, default: no limit)",
                     [&line](const std::string& text) {
                         line.max_connections = static_cast<std::size_t>(
                             decimal(text, 0, 1000, "--max-connections must be 0-1000"));
                     });
    add_value_option(
        app, "--min-gap", "MS",
        "Answer exception 6 (busy) to a request sooner than MS milliseconds after the "
        "previous reply, 0-60000 (0, default: off)",
        [&line](const std::string& text) { line.min_gap = milliseconds(text, "--min-gap"); });
    add_value_option(app, "--clock-zone", "ZONE",
                     "Run the meter's clock, and so its log time stamps, on the wall time of this "
                     "IANA time zone, e.g. Europe/Berlin, changes to and from summer time included "
                     "(default UTC)",
                     [&line](const std::string& text) {
                         auto wall = zone_wall_clock(text);
                         if (!wall) refuse("unknown time zone '" + text + "'");
                         line.wall = std::move(*wall);
                     });
    add_value_option(app, "--wrap", "N",
                     "Make the data logs and the event log circular logs of at most N records, "
                     "1-65535, and go on recording: the next data log record every --record-every",
                     [&line](const std::string& text) {
                         line.wrap = static_cast<std::uint16_t>(
                             decimal(text, 1, 65535, "--wrap must be 1-65535 records"));
                     });
    add_value_option(app, "--record-every", "S",
                     "With --wrap, append a record (15 minutes of the meter's time) to each data "
                     "log every S seconds of real time, 1-86400 (default 900)",
                     [&line](const std::string& text) {
                         line.record_every = std::chrono::seconds(
                             decimal(text, 1, 86400, "--record-every must be 1-86400 seconds"));
                     });
    add_value_option(
        app, "--refuse", "R:C[:N]",
        "Answer exception C (1-255) to the next N requests (1-1000000; no N: to every one) that "
        "read or write register R (0-65535), as a busy or failing gateway does; repeatable",
        [&line](const std::string& text) {
            const RefusalText named = refusal_text(
                text, 65535,
                "--refuse must be REGISTER:CODE[:COUNT]: a register 0-65535, an exception code "
                "1-255, a count of requests 1-1000000");
            Fault rule = Fault::exception(named.code);
            rule.range(static_cast<std::uint16_t>(named.what));
            if (named.times) rule.times(*named.times);
            line.refusals.push_back(rule);
        });
    add_value_option(
        app, "--refuse-file-info", "F:C[:N]",
        "Refuse the File Info of log F (0 the event log, 1-16 the data logs) with exception C "
        "(1-255) on the read of its data, for the next N File Info requests of that log "
        "(1-1000000; no N: always); repeatable",
        [&line](const std::string& text) {
            const RefusalText named =
                refusal_text(text, 16,
                             "--refuse-file-info must be FILE:CODE[:COUNT]: a log file 0-16, an "
                             "exception code 1-255, a count of requests 1-1000000");
            line.file_info_refusals.push_back(
                {static_cast<int>(named.what), named.code, named.times});
        });
    add_value_option(app, "--mute-unit", "U",
                     "Never answer a request to unit id U (0-255), not even with exception 11, "
                     "as a gateway whose meter is silent; repeatable",
                     [&line](const std::string& text) {
                         line.muted_units.push_back(static_cast<std::uint8_t>(
                             decimal(text, 0, 255, "--mute-unit must be a unit id 0-255")));
                     });
    add_rtu_options(app, line);
    app.add_flag_callback(
           "--outage", [&line] { line.outage = true; },
           "An hour without power a day before the newest record: no records in the data logs, "
           "a power down and a power up event in the event log")
        ->trigger_on_parse();
    app.add_flag_callback(
           "--journal", [&line] { line.journal = true; },
           "One line per request on standard error: time, connection, unit, function, address, "
           "quantity and how it was answered")
        ->trigger_on_parse();
}

}  // namespace

std::optional<int> parse_command_line(int argc, const char* const* argv, CommandLine& line) {
    CLI::App app(
        "kolvane-sim: serves one simulated em133 or em235 meter over Modbus TCP, or a gateway with "
        "several behind one port (--units), until SIGINT or SIGTERM; also over Modbus RTU "
        "(--rtu-device, --rtu-tcp).",
        "kolvane-sim");
    kcli::use_filled_help(app);
    app.footer(
        "The first line on standard output names the bound port: \"kolvane-sim: em133 listening "
        "on 127.0.0.1:PORT\" (\"[::1]:PORT\" for IPv6), followed by \" units 1,2,5\" with "
        "--units.\n\n"
        "Exit status: 0 stopped by SIGINT or SIGTERM, 1 cannot listen or open the RTU device, 2 "
        "bad "
        "argument or meter file.");
    kcli::add_examples(app, {"kolvane-sim --port 1502 &",
                             "kolvane-sim --port 1504 --wrap 96 --record-every 10 --journal",
                             "kolvane-sim --units 1,2,3 --mute-unit 3 --refuse 2393:6:2"});
    // Left-over arguments are reported below, in one line naming the first of them.
    app.allow_extras();
    add_options(app, line);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& help) {
        return app.exit(help);  // --help: the usage on standard output
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "kolvane-sim: %s\n", e.what());
        return EXIT_USAGE;
    }
    if (!app.remaining().empty()) {
        std::fprintf(stderr,
                     "kolvane-sim: unknown argument %s (kolvane-sim --help lists the options)\n",
                     app.remaining().front().c_str());
        return EXIT_USAGE;
    }
    return std::nullopt;
}

}  // namespace ksim
