// SPDX-License-Identifier: MIT
// The message of the failure some work raises, so tests can compare it literally.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "ground/interruptions.hpp"

namespace ktest {

// The message of the exception the work throws, or "(no failure)" when it returns.
inline std::string failure_of(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& failure) {
        return failure.what();
    } catch (const kolvane::DeadlineExceeded& expired) {
        return expired.what();
    }
    return "(no failure)";
}

}  // namespace ktest
