// Many meters at once: the hosts file and the concurrent runner of `info` and `live`.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kcli {

struct HostEntry {
    std::string host;
    std::string meter;
    std::optional<int> port;  // from HOST:PORT; otherwise -p or the default applies
};

// Reads one "HOST[:PORT] [MODEL]" per line; '#' starts a comment, blank lines are skipped and
// `default_meter` stands for a missing MODEL. Throws std::runtime_error with the message to print.
std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter);

// Reads one meter: (entry, out, out_len, err, err_len) -> status.
using HostCall = std::function<int(const HostEntry&, char*, int, char*, int)>;

// Runs `call` for every entry on `jobs` threads and prints one line per meter in the file's
// order: the document, or {"host":..,"error":..} for a meter that failed. Returns 1 when any
// meter failed, 0 otherwise.
int run_hosts(const std::vector<HostEntry>& entries, int jobs, const HostCall& call, bool pretty);

}  // namespace kcli
