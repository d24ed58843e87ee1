// SPDX-License-Identifier: MIT
// The register reads a points request makes: one range read per family touched, families in
// table order, spans with their gaps, and the model's register addresses.
#include <gtest/gtest.h>

#include "readings.hpp"
#include "support/journal.hpp"

namespace {

using ksim::Model;
using ktest::Op;
using ktest::read_op;

// Every family register lies in this window; the scaling setup lies outside it.
std::vector<Op> family_reads(const ksim::Simulator& sim) {
    return ktest::reads_within(sim, 13312, 21300);
}

class ReadTraffic : public ktest::PointsTest {};

TEST_F(ReadTraffic, OneRangeReadPerFamilyInTableOrder) {
    struct Case {
        Model model;
        const char* points;
        std::vector<Op> reads;
        int readings;
    };
    const Case cases[] = {
        {Model::em133, "0x1100, 0x1102, 0x1120", {read_op(13952, 66)}, 3},
        {Model::em235, "0x1780", {read_op(14784, 2)}, 1},
        {Model::em133, "0x1780", {read_op(14760, 2)}, 1},
        {Model::em133, "0x1080", {read_op(13864, 2)}, 1},
        {Model::em235, "0x1080", {read_op(13888, 2)}, 1},
        {Model::em133, "0x478F", {read_op(20934, 2)}, 1},
        {Model::em235, "0x4780", {read_op(20928, 2)}, 1},
        {Model::em235, "0x3715", {read_op(18858, 2)}, 1},
        {Model::em133,
         "0x0C00, 0x0C7F",
         {read_op(13312, 120), read_op(13432, 120), read_op(13552, 16)},
         2},
        {Model::em235,
         "0x1700, 0x0C00, 0x1100",
         {read_op(13312, 2), read_op(13952, 2), read_op(14720, 2)},
         3},
        {Model::em133, "0x1102, 0x1100, 0x0F00, 0x1101", {read_op(13696, 2), read_op(13952, 6)}, 4},
        {Model::em133, "4352, 4352, 4352", {read_op(13952, 2)}, 3},
        {Model::em235,
         R"("kWh import", "Energy REG2", "Max demand REG2", "V1", "I4", 0x0C21)",
         {read_op(13378, 2), read_op(13952, 2), read_op(14464, 2), read_op(14720, 2),
          read_op(14786, 2), read_op(20930, 2)},
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << ksim::model_name(c.model) << ": " << c.points);
        serve(c.model).set_all_families_present(true);
        const auto result = read_points(ksim::model_name(c.model), c.points);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.status, c.readings);
        EXPECT_EQ(family_reads(sim()), c.reads);
    }
}

// The scaling setup is read first, on the same connection, then the families.
TEST_F(ReadTraffic, ScalesBeforeFamiliesOnOneConnection) {
    ksim::Meter meter;
    meter.model = Model::em235;
    meter.pt_ratio = 10;
    meter.energy_decimals = 2;
    meter.energy_units = {1};
    meter.present_families = {0x1100};
    serve(meter);
    EXPECT_EQ(read_points("em235", "4352").status, 1);
    EXPECT_EQ(ktest::ops(sim()),
              (std::vector<Op>{read_op(46209, 1), read_op(46258, 1), read_op(56672, 64),
                               read_op(56672, 4), read_op(56676, 4), read_op(13952, 2)}));
    EXPECT_EQ(sim().connections_accepted(), 1u);
}

}  // namespace
