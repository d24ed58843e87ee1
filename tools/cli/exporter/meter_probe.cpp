// SPDX-License-Identifier: MIT
#include "exporter/meter_probe.hpp"

#include "common/document.hpp"
#include "common/identity_check.hpp"
#include "common/log_output.hpp"
#include "common/meter_options.hpp"
#include "exporter/meter_silence.hpp"

#include <kolvane.h>

#include <algorithm>
#include <stdexcept>

namespace kexp {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int SHORTEST_TIMEOUT_MS = 100;  // the library's lower bound of timeout_ms

std::string budget_exceeded(const Deadline& deadline) {
    return "probe budget of " + std::to_string(deadline.total_ms) + " ms exceeded";
}

// A call cut short by its deadline names the time that was left to it; the probe's message
// names the whole budget, which is what an operator can change.
std::string probe_error(const std::string& error, const Deadline& deadline) {
    const bool deadline_ran_out =
        error.starts_with("Deadline of ") && error.ends_with(" ms exceeded");
    return deadline_ran_out ? budget_exceeded(deadline) : error;
}

// The options text for one call: every wait bounded by the time-out and the time left.
std::string options_text(const ProbeTarget& target, int timeout_ms, const Deadline& deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline.end - Clock::now()).count();
    if (left <= 0) throw std::runtime_error(budget_exceeded(deadline));
    if (deadline.abandoned()) throw std::runtime_error(CLIENT_GONE);
    kcli::MeterOptions options;
    options.port = target.port;
    options.unit = target.unit;
    options.timeout_ms = static_cast<int>(
        std::max<long long>(SHORTEST_TIMEOUT_MS, std::min<long long>(timeout_ms, left)));
    options.deadline_s = static_cast<double>(left) / 1000;  // written back as `left` ms
    options.line = target.line;
    options.gap_ms = target.gap_ms;  // written only when > 0
    return options.options_text();
}

using MeterCall = int (*)(const char*, const char*, const char*, char*, int, char*, int);

std::string read_document(MeterCall call, const ProbeTarget& target, int timeout_ms,
                          const Deadline& deadline) {
    const std::string options = options_text(target, timeout_ms, deadline);
    const kcli::DocumentResult result =
        kcli::fetch_document([&](char* out, int out_len, char* err, int err_len) {
            return call(target.host.c_str(), target.model.c_str(), options.c_str(), out, out_len,
                        err, err_len);
        });
    if (result.status < 0) throw std::runtime_error(probe_error(result.error, deadline));
    return result.text;
}

}  // namespace

ProbeResult probe_meter(const ProbeTarget& target, int timeout_ms, const Deadline& deadline,
                        IdentityCache& identities) {
    const Clock::time_point start = Clock::now();
    const std::string key =
        target.address() + "/" + std::to_string(target.unit) + "/" + target.model;
    ProbeResult result;
    kcli::take_retries();  // a count left on this thread belongs to no probe
    kcli::take_retried_exceptions();
    bool read_whole = false;  // the meter answered one of the probe's reads completely
    try {
        std::optional<std::string> identity = identities.find(key);
        if (!identity) {
            // Only an identity that was read and fits is kept: a failed read leaves none.
            identity = read_document(kolvane_read_device_info, target, timeout_ms, deadline);
            read_whole = true;
            // A meter of the other model would be served with wrongly scaled values.
            if (const std::string problem = kcli::identity_mismatch(*identity, target.model);
                !problem.empty())
                throw std::runtime_error(problem);
            identities.store(key, *identity);
        }
        result.identity = std::move(*identity);
        // A failed live read keeps the identity (read again every few minutes): a slow meter then
        // needs only its live values within the next scrape's budget.
        result.live = read_document(kolvane_read_live_ex, target, timeout_ms, deadline);
        result.up = true;
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    const Clock::duration took = Clock::now() - start;
    result.seconds = std::chrono::duration<double>(took).count();
    result.retries = kcli::take_retries();
    result.retried_exceptions = kcli::take_retried_exceptions();
    // A budget that ran out before any read was whole: a meter that had the gateway for half of
    // it and gave nothing will not give more at the next scrape; one that got the gateway late,
    // behind its neighbours, had no fair chance.
    const bool ran_out_silent = result.error == budget_exceeded(deadline) && !read_whole &&
                                2 * took >= std::chrono::milliseconds(deadline.total_ms);
    result.silent = !result.up && (says_meter_silent(result.error) || ran_out_silent);
    return result;
}

}  // namespace kexp
