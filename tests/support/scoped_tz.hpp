// SPDX-License-Identifier: MIT
// Sets TZ for the scope and restores the previous value (or its absence) afterwards.
#pragma once

#include <stdlib.h>

#include <ctime>
#include <string>

namespace ktest {

class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        const char* previous = std::getenv("TZ");
        had_previous_ = previous != nullptr;
        if (had_previous_) previous_ = previous;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTz() {
        if (had_previous_) {
            ::setenv("TZ", previous_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    ScopedTz(const ScopedTz&) = delete;
    ScopedTz& operator=(const ScopedTz&) = delete;

private:
    bool had_previous_ = false;
    std::string previous_;
};

}  // namespace ktest
