// SPDX-License-Identifier: MIT
// The live point set of each model, read from the simulator's realistic meter.
#include <gtest/gtest.h>

#include "readings.hpp"
#include "support/journal.hpp"

namespace {

using ksim::Fault;
using ksim::Model;
using ktest::Op;
using ktest::read_op;

std::vector<int> ids(std::initializer_list<std::pair<int, int>> ranges) {
    std::vector<int> result;
    for (const auto& [first, last] : ranges) {
        for (int id = first; id <= last; ++id) result.push_back(id);
    }
    return result;
}

const std::vector<int> EM133_LIVE = ids({{0x1100, 0x1120},
                                         {0x1400, 0x140C},
                                         {0x1501, 0x1504},
                                         {0x1700, 0x1701},
                                         {0x1704, 0x1705},
                                         {0x1708, 0x1708}});
const std::vector<int> EM235_LIVE =
    ids({{0x1100, 0x1120}, {0x1400, 0x140C}, {0x1500, 0x1504}, {0x150E, 0x150E}, {0x1700, 0x1708}});

class Live : public ktest::PointsTest {};

TEST_F(Live, SetsOf55And61Points) {
    struct Case {
        Model model;
        const char* name;
        std::vector<int> pids;
        std::vector<Op> reads;
    };
    const Case cases[] = {
        {Model::em133,
         "em133",
         EM133_LIVE,
         {read_op(13952, 66), read_op(14336, 26), read_op(14466, 8), read_op(14720, 18)}},
        {Model::em235,
         "em235",
         EM235_LIVE,
         {read_op(13952, 66), read_op(14336, 26), read_op(14464, 30), read_op(14720, 18)}},
        {Model::em235,
         "PM335",
         EM235_LIVE,
         {read_op(13952, 66), read_op(14336, 26), read_op(14464, 30), read_op(14720, 18)}},
    };
    ASSERT_EQ(EM133_LIVE.size(), 55u);
    ASSERT_EQ(EM235_LIVE.size(), 61u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(ksim::default_meter(c.model, 4, 1700000000, 4));
        const auto result = read_live(c.name);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, int(c.pids.size()));
        EXPECT_EQ(ktest::pids_of(result.out), c.pids);
        EXPECT_EQ(ktest::reads_within(sim(), 13312, 21300), c.reads);
        EXPECT_EQ(result.out.rfind(std::string(R"({"meter":")") + ksim::model_name(c.model) +
                                       R"(","host":"127.0.0.1","timestamp":")",
                                   0),
                  0u);
    }
}

TEST_F(Live, RefusedPointIsMissing) {
    serve(ksim::default_meter(Model::em235, 4, 1700000000, 4));
    sim().add_fault(Fault::exception(2).reads(14464 + 28, 14464 + 29));  // I leakage
    const auto result = read_live("em235");
    EXPECT_EQ(result.status, 60);
    std::vector<int> expected = EM235_LIVE;
    std::erase(expected, 0x150E);
    EXPECT_EQ(ktest::pids_of(result.out), expected);
}

}  // namespace
