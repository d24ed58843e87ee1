// SPDX-License-Identifier: MIT
// `info` and `live` for every meter of a hosts file, several at once.
#pragma once

#include "common/hosts_file.hpp"
#include "common/meter_options.hpp"

#include <functional>
#include <vector>

namespace kcli {

// Reads one meter: (entry, its options text, out, out_len, err, err_len) -> status.
using HostCall = std::function<int(const HostEntry&, const char*, char*, int, char*, int)>;

// Runs `call` for every entry on `jobs` threads, one meter of a gateway (one HOST:PORT) at a
// time, and prints one line per meter in the file's order: the document with the meter's
// "port", "unit" and "name" (when it has one) after its "host", or
// {"host":..,"port":..,"unit":..,"meter":..,"error":..} for a meter that failed. A gateway that
// cannot be connected to fails its other meters without contacting them. `command_line` holds
// the -p/-u/-t/--gap the lines do not set. Returns 1 when any meter failed, 0 otherwise.
int run_hosts(const std::vector<HostEntry>& entries, const MeterOptions& command_line, int jobs,
              const HostCall& call, bool pretty);

}  // namespace kcli
