// SPDX-License-Identifier: MIT
// Collects one meter through the library's C interface: identity, log directory, data logs,
// event log and a live snapshot, handing rows to the writer in batches as they arrive.
#pragma once

#include "collect/target.hpp"
#include "collect/writer.hpp"
#include "common/host_port.hpp"
#include "common/meter_options.hpp"
#include "database/database.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace kcollect {

struct Parts {
    bool datalog = true;
    bool eventlog = true;
    bool live = true;
    // A serial stored from another address is taken for a second meter answering with it, until
    // that address has not been collected for this long: then the meter is taken to have moved.
    std::chrono::seconds moved_after{3600};
};

// The meters of one pass, by serial: one reader per meter, and one address per serial.
class Claims {
public:
    enum class Result {
        CLAIMED,        // the serial is the caller's to read until release()
        BUSY,           // another reader of this pass is reading it at the same address
        OTHER_ADDRESS,  // another address reported it first in this pass; `other` names it
    };
    Result claim(std::int64_t serial, const std::string& address, std::string& other);
    void release(std::int64_t serial);

private:
    std::mutex mutex_;
    std::set<std::int64_t> reading_;
    std::map<std::int64_t, std::string> addresses_;
};

struct MeterOutcome {
    nlohmann::ordered_json line;  // the summary line printed for the meter
    bool failed = false;
};

MeterOutcome collect_meter(const Target& target, const Parts& parts, kdb::Database& store,
                           Claims& claims, Writer& writer);
// The line of a meter that was not contacted, because its gateway could not be reached.
MeterOutcome not_reached(const Target& target, const Parts& parts, const std::string& error);

}  // namespace kcollect
