// SPDX-License-Identifier: MIT
// The hosts file: the meters of a site, one per line.
#pragma once

#include "common/meter_options.hpp"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kcli {

// One meter: HOST, PORT and UNIT tell it apart, so that the meters behind one gateway are
// several entries with one HOST:PORT.
struct HostEntry {
    std::string host;           // a name or address; the device's path on a serial line
    std::string meter;          // em133 or em235
    std::optional<int> port;    // from HOST:PORT; otherwise -p or the default applies
    std::optional<int> unit;    // unit=N; otherwise -u or the default applies
    std::string name;           // name=LABEL: the site's own name for the meter, may be empty
    std::optional<int> gap_ms;  // gap=MS: the pause the gateway wants between requests
    std::string zone;           // tz=ZONE: the zone of the meter's clock; empty: the default
    LineSettings line;          // rtu:DEVICE or rtu+tcp://, baud=, parity=, stop_bits=, echo=
};

// Takes "HOST[:PORT]", "rtu:DEVICE" or "rtu+tcp://HOST[:PORT]" into `entry`: its host, port and
// transport. Returns the problem, if any; an empty one when the text is malformed.
std::optional<std::string> take_address(const std::string& text, HostEntry& entry);

// Where a meter is, as a hosts line starts: "HOST:PORT", "rtu+tcp://HOST:PORT" or "rtu:DEVICE".
std::string hosts_line_address(const std::string& host, int port, const LineSettings& line);
// The line's settings that were given, as the fields of a hosts line: " baud=19200 parity=even".
std::string line_fields(const LineSettings& line);

// The options of one entry's calls: the command line's, with what the line itself says.
MeterOptions options_for(const HostEntry& entry, const MeterOptions& command_line);

// "HOST:PORT" of the entry's gateway (or meter), the device of a serial line: entries that share
// it share a connection limit.
std::string gateway_of(const HostEntry& entry, const MeterOptions& command_line);

// A hosts file that cannot be used, with every problem found in it, each naming its line.
class HostsFileError : public std::runtime_error {
public:
    HostsFileError(std::vector<std::string> problems, int exit_status);
    const std::vector<std::string>& problems() const { return problems_; }
    int exit_status() const { return exit_status_; }  // 1: unreadable, 2: bad content

private:
    std::vector<std::string> problems_;
    int exit_status_;
};

// Prints every problem of `error` on standard error and returns its exit status.
int report_hosts_error(const HostsFileError& error);

// Reads one "HOST[:PORT] [MODEL] [unit=N] [name=LABEL] [gap=MS] [tz=ZONE]" per line ("-" reads
// standard input; an IPv6 address with a port is written [ADDRESS]:PORT; a LABEL with blanks is
// written in double quotes). A meter on an RS-485 line is "rtu:DEVICE" (a serial port, with
// baud=N, parity=none|odd|even, stop_bits=1|2 and echo=1) or "rtu+tcp://HOST[:PORT]" (a
// transparent serial server, with baud=N). '#' outside quotes starts a comment, blank lines are
// skipped and
// `default_meter` (the -m model, may be empty) stands for a missing MODEL. The file is UTF-8 text
// in lines of at most 4096 bytes. The whole file is checked before it is used: throws
// HostsFileError naming every bad line.
std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter);

}  // namespace kcli
