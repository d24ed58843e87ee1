// SPDX-License-Identifier: MIT
// The point list of each model, built from the catalogue without contacting a meter.
#include <gtest/gtest.h>

#include <algorithm>

#include "kolvane.h"
#include "readings.hpp"

namespace {

ktest::ApiResult list(const char* model) {
    return ktest::call_api([&](char* out, int len, char* err, int err_len) {
        return kolvane_list_points(model, out, len, err, err_len);
    });
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(ListPoints, Em235Lists205Points) {
    const auto result = list("em235");
    EXPECT_EQ(result.status, 205);
    EXPECT_EQ(ktest::pids_of(result.out).size(), 205u);
    EXPECT_EQ(
        result.out.rfind(
            R"({"meter":"em235","points":[{"pid":3072,"name":"V1","unit":"V","group":"1-cycle phase values"},)",
            0),
        0u);
    EXPECT_TRUE(result.out.ends_with(
        R"({"pid":18319,"name":"Max demand REG16","unit":"","group":"billing summary maximum demands"}]})"));
    for (
        const char* object : {
            R"({"pid":4352,"name":"V1","unit":"V","group":"1-second phase values"})",
            R"({"pid":5376,"name":"I4","unit":"A","group":"1-second auxiliary values"})",
            R"({"pid":6016,"name":"Energy REG1","unit":"","group":"billing summary energy registers"})",
            R"({"pid":4224,"name":"V1 mag","unit":"V","group":"fundamental phasor values"})",
            R"({"pid":5653,"name":"PF at max kVA demand","unit":"","group":"present demands"})",
        }) {
        EXPECT_TRUE(contains(result.out, object)) << object;
    }
    const auto pids = ktest::pids_of(result.out);
    EXPECT_TRUE(std::is_sorted(pids.begin(), pids.end()));
    EXPECT_EQ(std::count_if(pids.begin(), pids.end(), [](int pid) { return pid >= 0x7000; }), 0);
}

// The em133 list is the em235 list without the six em235-only points.
TEST(ListPoints, Em133Lists199Points) {
    const auto em133 = list("em133");
    const auto em235 = list("pm335");
    EXPECT_EQ(em133.status, 199);
    EXPECT_EQ(em133.out.rfind(R"({"meter":"em133","points":[)", 0), 0u);
    EXPECT_EQ(em235.out.rfind(R"({"meter":"em235","points":[)", 0), 0u);
    EXPECT_TRUE(contains(
        em133.out, R"({"pid":4096,"name":"I4","unit":"A","group":"1-cycle auxiliary values"})"));
    std::vector<int> only_em235;
    const auto em133_pids = ktest::pids_of(em133.out);
    for (const int pid : ktest::pids_of(em235.out)) {
        if (std::find(em133_pids.begin(), em133_pids.end(), pid) == em133_pids.end()) {
            only_em235.push_back(pid);
        }
    }
    EXPECT_EQ(only_em235, (std::vector<int>{0x1500, 0x150E, 0x1702, 0x1703, 0x1706, 0x1707}));
}

TEST(ListPoints, UnknownModelAndSmallBuffer) {
    EXPECT_EQ(list("em-133").err, "Unknown meter model 'em-133' (expected em133 or em235)");
    const int length = int(list("em133").out.size());
    const auto too_small = ktest::call_api(
        [&](char* out, int len, char* err, int err_len) {
            return kolvane_list_points("em133", out, len, err, err_len);
        },
        length);
    EXPECT_EQ(too_small.status, -1);
    EXPECT_EQ(too_small.err,
              "Output buffer too small: need " + std::to_string(length + 1) + " bytes");
}

}  // namespace
