// SPDX-License-Identifier: MIT
// One probe: the meter's identity (cached) and live values through the C interface, within the
// probe's deadline.
#pragma once

#include "exporter/identity_cache.hpp"
#include "exporter/target_policy.hpp"

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace kexp {

struct Deadline {
    std::chrono::steady_clock::time_point end;
    int total_ms = 0;  // the whole budget, for the message when it runs out
    // True once nobody awaits the probe's answer any more: the probe makes no further read of
    // the meter (a read in progress runs to its end, within the budget).
    std::function<bool()> abandoned = [] { return false; };
};

// The failure of a probe whose client has gone.
inline constexpr const char* CLIENT_GONE = "the client closed its connection before the answer";

struct ProbeResult {
    bool up = false;
    std::string error;                      // why the meter did not answer
    std::string identity;                   // the device information document
    std::string live;                       // the readings document
    double seconds = 0;                     // 0 for a probe answered from a held failure
    int retries = 0;                        // requests the library sent again
    std::map<int, int> retried_exceptions;  // those retries by the exception answered
    // The meter gave no answer (see meter_silence.hpp), or no read of it was complete when the
    // budget ran out after the probe had talked to it for at least half of it.
    bool silent = false;
};

// `timeout_ms` bounds each wait for the meter, the deadline the whole probe. Runs on the calling
// thread, whose count of the library's retries it takes.
ProbeResult probe_meter(const ProbeTarget& target, int timeout_ms, const Deadline& deadline,
                        IdentityCache& identities);

}  // namespace kexp
