// SPDX-License-Identifier: MIT
// Reading points through the C interface from the simulator, and taking the readings
// document apart where it holds the current time.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "kolvane.h"
#include "support/api_call.hpp"
#include "support/sim_fixture.hpp"

namespace ktest {

inline const std::regex TIMESTAMP_MEMBER(
    R"re("timestamp":"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)")re");

// The document with its timestamp replaced by T, so that the rest compares literally.
inline std::string without_timestamp(const std::string& document) {
    std::smatch match;
    if (!std::regex_search(document, match, TIMESTAMP_MEMBER)) return document;
    return match.prefix().str() + R"("timestamp":"T")" + match.suffix().str();
}

inline std::string timestamp_of(const std::string& document) {
    std::smatch match;
    return std::regex_search(document, match, TIMESTAMP_MEMBER) ? match[1].str() : "";
}

// The "pid" members of a document, in order.
inline std::vector<int> pids_of(const std::string& document) {
    static const std::regex pid(R"("pid":(\d+))");
    std::vector<int> pids;
    for (auto it = std::sregex_iterator(document.begin(), document.end(), pid);
         it != std::sregex_iterator(); ++it) {
        pids.push_back(std::stoi((*it)[1].str()));
    }
    return pids;
}

class PointsTest : public SimTest {
protected:
    ApiResult read_points(const char* model, const char* points, int out_len = 1 << 16) {
        const std::string opts = options();
        return call_api(
            [&](char* out, int len, char* err, int err_len) {
                return kolvane_read_points(LOOPBACK, model, opts.c_str(), points, out, len, err,
                                           err_len);
            },
            out_len);
    }
    ApiResult read_live(const char* model, int timeout_ms = HANG_GUARD_MS) {
        const std::string opts = options(timeout_ms);
        return call_api([&](char* out, int len, char* err, int err_len) {
            return kolvane_read_live_ex(LOOPBACK, model, opts.c_str(), out, len, err, err_len);
        });
    }
};

}  // namespace ktest
