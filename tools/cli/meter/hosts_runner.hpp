// SPDX-License-Identifier: MIT
// `info` and `live` for every meter of a hosts file, several at once.
#pragma once

#include "common/hosts_file.hpp"

#include <functional>
#include <vector>

namespace kcli {

// Reads one meter: (entry, out, out_len, err, err_len) -> status.
using HostCall = std::function<int(const HostEntry&, char*, int, char*, int)>;

// Runs `call` for every entry on `jobs` threads and prints one line per meter in the file's
// order: the document with the meter's "port" after its "host", or
// {"host":..,"port":..,"meter":..,"error":..} for a meter that failed. An entry without a port
// is shown with Modbus TCP's. Returns 1 when any meter failed, 0 otherwise.
int run_hosts(const std::vector<HostEntry>& entries, int jobs, const HostCall& call, bool pretty);

}  // namespace kcli
