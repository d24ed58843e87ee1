// SPDX-License-Identifier: MIT
// The two ways a call ends early by the caller's own limits rather than a fault of the meter.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kolvane {

// A caller's record or progress callback asked to stop.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled by caller") {}
};

// The call's whole-call deadline has passed. Deliberately not a std::exception: the reads
// that fall back to defaults on a failure catch std::exception, and a deadline must end the
// call instead of turning into defaults (a PT ratio of 1, a missing column list).
class DeadlineExceeded {
public:
    explicit DeadlineExceeded(int32_t deadline_ms)
        : message_("Deadline of " + std::to_string(deadline_ms) + " ms exceeded") {}
    const char* what() const noexcept { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace kolvane
