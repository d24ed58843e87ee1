// SPDX-License-Identifier: MIT
// Collects one meter through the library's C interface: identity, log directory, data logs,
// event log and a live snapshot, handing rows to the writer in batches as they arrive.
#pragma once

#include "collect/writer.hpp"
#include "common/host_port.hpp"
#include "database/database.hpp"

#include <nlohmann/json.hpp>

#include <mutex>
#include <set>
#include <string>

namespace kcollect {

struct Target {
    std::string host;
    int port = kcli::MODBUS_TCP_PORT;
    int unit = 1;         // the Modbus unit id
    std::string meter;    // model name for the library
    std::string options;  // the library's options text, port included
};

struct Parts {
    bool datalog = true;
    bool eventlog = true;
    bool live = true;
};

// Serials being read by this process: one meter, one reader, even when two host lines reach it.
class Claims {
public:
    bool claim(std::int64_t serial);
    void release(std::int64_t serial);

private:
    std::mutex mutex_;
    std::set<std::int64_t> serials_;
};

struct MeterOutcome {
    nlohmann::ordered_json line;  // the summary line printed for the meter
    bool failed = false;
};

MeterOutcome collect_meter(const Target& target, const Parts& parts, kdb::Database& store,
                           Claims& claims, Writer& writer);

}  // namespace kcollect
