// SPDX-License-Identifier: MIT
#include "common/hosts_file.hpp"

#include "common/exit_status.hpp"
#include "common/host_port.hpp"
#include "common/meter_clock.hpp"
#include "common/meter_options.hpp"
#include "common/output.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>

namespace kcli {
namespace {

// The longest line taken. The longest sensible line (a 253-byte DNS name, a model, a unit, a gap,
// an IANA zone name and a name of a few dozen characters) is well under it, and a file that is
// not a hosts file at all (a binary, a log given by mistake) costs this much memory per line
// rather than its whole size; a diagnostic that quotes a line stays a line.
constexpr std::size_t MAX_LINE_BYTES = 4096;

// One line read with its length bounded.
struct BoundedLine {
    std::string text;  // without its line feed; empty when too long
    bool too_long = false;
};

// The next line of `in`, nothing at its end or once reading fails. A line longer than
// MAX_LINE_BYTES is passed over to its line feed without being kept.
std::optional<BoundedLine> next_line(std::istream& in) {
    std::string buffer(MAX_LINE_BYTES + 2, '\0');  // room for one byte too many
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::size_t read = static_cast<std::size_t>(in.gcount());
    if (in.bad() || (read == 0 && in.eof())) return std::nullopt;
    if (in.fail() && !in.eof()) {  // the buffer filled before the line feed came
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        return BoundedLine{{}, true};
    }
    const std::size_t length = in.eof() ? read : read - 1;  // less the line feed taken
    if (length > MAX_LINE_BYTES) return BoundedLine{{}, true};
    buffer.resize(length);
    return BoundedLine{std::move(buffer), false};
}

// The offset of the first byte in `text` that is not part of well-formed UTF-8 (no overlong
// forms, no surrogates, nothing above U+10FFFF), npos when there is none. JSON output refuses
// such text, and so does Prometheus in a label.
std::size_t first_bad_utf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return i;
        }
        if (i + length > text.size()) return i;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = byte(i + k);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return i;
        }
        i += length;
    }
    return std::string::npos;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The words of a line up to a '#' outside double quotes; a quoted part may hold blanks and '#'
// and loses its quotes. Nothing when a quote is not closed.
std::optional<std::vector<std::string>> words_of(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i == line.size() || line[i] == '#') break;
        std::string word;
        while (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
            if (line[i] != '"') {
                word += line[i++];
                continue;
            }
            const std::size_t close = line.find('"', i + 1);
            if (close == std::string::npos) return std::nullopt;
            word.append(line, i + 1, close - i - 1);
            i = close + 1;
        }
        words.push_back(word);
    }
    return words;
}

// A decimal number in [low, high], nothing otherwise.
std::optional<int> number_in(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

constexpr std::string_view SERIAL_PREFIX = "rtu:";
constexpr std::string_view RTU_TCP_PREFIX = "rtu+tcp://";
constexpr int BAUD_RATES[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

// Takes one key=value field into `entry`; returns the problem, if any.
std::optional<std::string> take_field(const std::string& field, HostEntry& entry) {
    const std::size_t equals = field.find('=');
    const std::string key = field.substr(0, equals);
    const std::string value = field.substr(equals + 1);
    if (key == "unit") {
        if (entry.unit) return std::string("unit given twice");
        entry.unit = number_in(value, 0, 255);
        if (!entry.unit) return "unit must be 0-255, got '" + value + "'";
    } else if (key == "gap") {
        if (entry.gap_ms) return std::string("gap given twice");
        entry.gap_ms = number_in(value, 0, MAX_GAP_MS);
        if (!entry.gap_ms) return "gap must be 0-10000 milliseconds, got '" + value + "'";
    } else if (key == "name") {
        if (!entry.name.empty()) return std::string("name given twice");
        if (value.empty()) return std::string("name must not be empty");
        for (const char c : value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return std::string("name must not hold control characters");
        entry.name = value;
    } else if (key == "tz") {
        if (!entry.zone.empty()) return std::string("tz given twice");
        if (const std::string problem = zone_problem(value); !problem.empty()) return problem;
        entry.zone = value;
    } else if (key == "baud") {
        if (entry.line.baud) return std::string("baud given twice");
        entry.line.baud = number_in(value, 1, 230400);
        if (!entry.line.baud || !std::ranges::count(BAUD_RATES, *entry.line.baud))
            return "baud must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, "
                   "230400, got '" +
                   value + "'";
    } else if (key == "parity") {
        if (entry.line.parity) return std::string("parity given twice");
        entry.line.parity = parity_value(value);
        if (!entry.line.parity) return "parity must be none, odd or even, got '" + value + "'";
    } else if (key == "stop_bits") {
        if (entry.line.stop_bits) return std::string("stop_bits given twice");
        entry.line.stop_bits = number_in(value, 1, 2);
        if (!entry.line.stop_bits) return "stop_bits must be 1 or 2, got '" + value + "'";
    } else if (key == "echo") {
        if (value != "0" && value != "1") return "echo must be 0 or 1, got '" + value + "'";
        entry.line.echo = value == "1";
    } else {
        return "unknown field '" + key +
               "' (expected unit=, name=, gap=, tz=, baud=, parity=, stop_bits= or echo=)";
    }
    return std::nullopt;
}

// The settings of a serial line on a meter reached otherwise; the problem, if any.
std::optional<std::string> misplaced_line_settings(const HostEntry& entry, bool serial) {
    if (serial) return std::nullopt;
    const LineSettings& line = entry.line;
    for (const auto& [given, key] : {std::pair{line.parity.has_value(), "parity="},
                                     {line.stop_bits.has_value(), "stop_bits="},
                                     {line.echo, "echo="}})
        if (given) return std::string(key) + " needs a serial line (rtu:DEVICE)";
    if (line.baud && !line.rtu_over_tcp)
        return std::string("baud= needs RTU (rtu:DEVICE or rtu+tcp://HOST[:PORT])");
    return std::nullopt;
}

// Checks one line; returns the problem, or nothing with `entry` filled (or left without host
// for a blank line).
std::optional<std::string> parse_line(const std::string& line, const std::string& default_meter,
                                      HostEntry& entry) {
    const std::optional<std::vector<std::string>> words = words_of(line);
    if (!words) return "a double quote is not closed in '" + line + "'";
    if (words->empty()) return std::nullopt;
    const std::string malformed =
        "expected HOST[:PORT], rtu:DEVICE or rtu+tcp://HOST[:PORT], then [MODEL] [unit=N] "
        "[name=LABEL] [gap=MS] [tz=ZONE], got '" +
        line + "'";
    if (const auto problem = take_address(words->front(), entry))
        return problem->empty() ? malformed : *problem;
    const bool serial = entry.host.starts_with('/');
    std::string model;
    for (std::size_t i = 1; i < words->size(); ++i) {
        const std::string& word = (*words)[i];
        if (word.find('=') != std::string::npos) {
            if (const auto problem = take_field(word, entry)) return problem;
        } else if (i == 1) {
            model = word;
        } else {
            return malformed;
        }
    }
    if (const auto problem = misplaced_line_settings(entry, serial)) return problem;
    if (model.empty() && default_meter.empty()) return "no MODEL on the line and no -m/--meter";
    if (model.empty()) model = default_meter;
    if (!known_model(model))
        return "unknown model '" + model + "' (expected em133, em235 or pm335)";
    entry.meter = canonical_model(model);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> take_address(const std::string& text, HostEntry& entry) {
    if (text.starts_with(SERIAL_PREFIX)) {
        entry.host = text.substr(SERIAL_PREFIX.size());
        if (!entry.host.starts_with('/'))
            return "rtu: names a serial device by its path (rtu:/dev/ttyUSB0), got '" + text + "'";
        return std::nullopt;
    }
    entry.line.rtu_over_tcp = text.starts_with(RTU_TCP_PREFIX);
    const std::optional<HostPort> split =
        split_host_port(entry.line.rtu_over_tcp ? text.substr(RTU_TCP_PREFIX.size()) : text);
    if (!split || split->host.empty() || split->host.starts_with('/')) return std::string();
    entry.host = split->host;
    if (!split->port.empty()) {
        entry.port = port_number(split->port);
        if (!entry.port) return "port must be 1-65535, got " + split->port;
    }
    return std::nullopt;
}

std::string hosts_line_address(const std::string& host, int port, const LineSettings& line) {
    if (host.starts_with('/')) return std::string(SERIAL_PREFIX) + host;
    if (line.rtu_over_tcp) return std::string(RTU_TCP_PREFIX) + join_host_port(host, port);
    return join_host_port(host, port);
}

std::string line_fields(const LineSettings& line) {
    static const char* const PARITIES[] = {"none", "odd", "even"};
    std::string text;
    if (line.baud) text += " baud=" + std::to_string(*line.baud);
    if (line.parity) text += std::string(" parity=") + PARITIES[*line.parity];
    if (line.stop_bits) text += " stop_bits=" + std::to_string(*line.stop_bits);
    if (line.echo) text += " echo=1";
    return text;
}

MeterOptions options_for(const HostEntry& entry, const MeterOptions& command_line) {
    MeterOptions options = command_line;
    if (entry.port) options.port = entry.port;
    if (entry.unit) options.unit = entry.unit;
    if (entry.gap_ms) options.gap_ms = entry.gap_ms;
    LineSettings& line = options.line;
    line.rtu_over_tcp = line.rtu_over_tcp || entry.line.rtu_over_tcp;
    if (entry.line.baud) line.baud = entry.line.baud;
    if (entry.line.parity) line.parity = entry.line.parity;
    if (entry.line.stop_bits) line.stop_bits = entry.line.stop_bits;
    line.echo = line.echo || entry.line.echo;
    return options;
}

std::string gateway_of(const HostEntry& entry, const MeterOptions& command_line) {
    if (entry.host.starts_with('/')) return std::string(SERIAL_PREFIX) + entry.host;
    return join_host_port(entry.host,
                          entry.port.value_or(command_line.port.value_or(MODBUS_TCP_PORT)));
}

HostsFileError::HostsFileError(std::vector<std::string> problems, int exit_status)
    : std::runtime_error(joined(problems)),
      problems_(std::move(problems)),
      exit_status_(exit_status) {}

int report_hosts_error(const HostsFileError& error) {
    for (const std::string& problem : error.problems()) print_diagnostic(problem.c_str());
    return error.exit_status();
}

std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter) {
    const bool from_stdin = path == "-";
    const std::string name = from_stdin ? "standard input" : path;
    std::ifstream file;
    if (!from_stdin) {
        file.open(path);
        if (!file) throw HostsFileError({"Cannot read hosts file " + path}, FAILURE);
    }
    std::istream& in = from_stdin ? std::cin : file;
    std::vector<HostEntry> entries;
    std::vector<std::string> problems;
    for (int number = 1;; ++number) {
        const std::optional<BoundedLine> line = next_line(in);
        if (!line) break;
        const std::string at = name + " line " + std::to_string(number) + ": ";
        if (line->too_long) {
            problems.push_back(at + "longer than " + std::to_string(MAX_LINE_BYTES) + " bytes");
            continue;
        }
        // The line is not quoted: its bytes would reach the terminal as they are.
        if (const std::size_t bad = first_bad_utf8(line->text); bad != std::string::npos) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X",
                          static_cast<unsigned>(static_cast<unsigned char>(line->text[bad])));
            problems.push_back(at + "not UTF-8 text: " + byte + " at byte " +
                               std::to_string(bad + 1));
            continue;
        }
        HostEntry entry;
        if (const auto problem = parse_line(line->text, default_meter, entry))
            problems.push_back(at + *problem);
        else if (!entry.host.empty())
            entries.push_back(entry);
    }
    if (in.bad()) throw HostsFileError({"Cannot read hosts file " + name}, FAILURE);
    if (problems.empty() && entries.empty()) problems.push_back("No hosts in " + name);
    if (!problems.empty()) throw HostsFileError(problems, USAGE);
    return entries;
}

}  // namespace kcli
