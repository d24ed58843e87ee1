// SPDX-License-Identifier: MIT
// The realistic default meter of kolvane-sim and the meter description file.
#include <gtest/gtest.h>

#include <string>

#include "raw_client.hpp"
#include "simulator.hpp"
#include "support/files.hpp"
#include "support/temp_dir.hpp"

using namespace ktest;
using ksim::Model;
using W = std::vector<std::uint16_t>;

namespace {

std::int32_t s32(const W& w, std::size_t i) {
    return static_cast<std::int32_t>(w[i] | (std::uint32_t{w[i + 1]} << 16));
}

TEST(SimDefaultMeter, Em133ContentIsConsistent) {
    const std::int64_t now = 1760000000;
    ksim::Meter m = ksim::default_meter(Model::em133, 100, now, 50);
    ksim::Simulator sim(m);
    RawClient c(sim.start());
    W id = c.read(46080, 26);
    EXPECT_EQ(id[2], 133);
    EXPECT_EQ(id[4], ('E' << 8) | 'M');
    EXPECT_EQ(c.read(2305, 1)[0], 10);
    EXPECT_EQ(c.read(2390, 1)[0], 1);
    EXPECT_EQ(c.read(2393, 1)[0], 2);
    EXPECT_EQ(c.read(56672 + 4 * 11, 4)[1], 8);
    EXPECT_TRUE(c.call(1, pdu_read(56672 + 4 * 12, 4)).is_exception());

    W ph = c.read(13952, 66);  // 1-second phase values 0x1100..0x1120
    for (int k = 0; k < 3; ++k) {
        double v = s32(ph, 2 * k) / 10.0, i = s32(ph, 2 * (3 + k)) / 100.0,
               p = s32(ph, 2 * (6 + k)) / 1000.0;
        double pf = s32(ph, 2 * (15 + k)) / 1000.0;
        EXPECT_NEAR(v, 230, 5);
        EXPECT_NEAR(p, v * i * pf / 1000, 0.01);
    }
    EXPECT_NEAR(static_cast<int>(c.read(14468, 1)[0]), 5000, 3);  // 0x1502 frequency near 50 Hz

    ASSERT_EQ(m.logs.size(), 4u);
    const ksim::LogFile& dl = m.logs.at(1);
    EXPECT_EQ(dl.records.size(), 100u);
    EXPECT_EQ(dl.columns.size(), 9u);
    EXPECT_EQ(dl.records.front().size(), 8u + 2 * 9);
    std::uint32_t t_last = dl.records.back()[2] | (std::uint32_t{dl.records.back()[3]} << 16);
    std::uint32_t t_prev = dl.records[98][2] | (std::uint32_t{dl.records[98][3]} << 16);
    EXPECT_EQ(t_last - t_prev, 900u);
    EXPECT_LE(static_cast<std::int64_t>(t_last), now);
    EXPECT_EQ(m.logs.at(0).records.size(), 50u);
}

TEST(SimDefaultMeter, LiveEnergiesGrow) {
    ksim::Simulator sim(ksim::default_meter(Model::em235, 0, 1760000000, 0));
    ksim::update_live_values(sim, 1760000000.0, 1760000000.0);
    auto e0 = sim.point(0x1700);
    ksim::update_live_values(sim, 1760000060.0, 1760000000.0, {{0x1100, 7}});
    EXPECT_GT(*sim.point(0x1700), *e0);
    EXPECT_EQ(sim.point(0x1100), 7);
    EXPECT_EQ(sim.get_register(46209), 10);
    EXPECT_EQ(sim.get_register(46258), 2);
    EXPECT_FALSE(sim.get_register(2390).has_value());
}

TEST(SimDefaultMeter, MeterFileOverrides) {
    const ktest::TempDir dir;
    const std::string path = dir.file("meter.txt");
    ktest::write_file(
        path,
        "# test meter\nmodel em235\nrecords 20\nevents 5\nserial 0x125678\n"
        "model_name My Meter\nfirmware 7 8\npt_ratio none\nenergy_decimals 3\n"
        "energy_units 1 2\npoint 0x1100 -5\nregister 2575 99\nblock_size 4\nno_log 3\n");
    ksim::Meter m = ksim::default_meter(Model::em133, 10);
    std::string err;
    ASSERT_TRUE(ksim::load_meter_file(path, m, err)) << err;
    EXPECT_EQ(m.model, Model::em235);
    EXPECT_EQ(m.identity->serial, 0x125678u);
    EXPECT_EQ(m.identity->model_name, "My Meter");
    EXPECT_EQ(m.identity->firmware_build, 8);
    EXPECT_FALSE(m.pt_ratio.has_value());
    EXPECT_EQ(m.energy_decimals, 3);
    EXPECT_EQ(m.energy_units, (W{1, 2}));
    EXPECT_EQ(m.points.at(0x1100), -5);
    EXPECT_EQ(m.point_overrides.at(0x1100), -5);
    EXPECT_EQ(m.registers.at(2575), 99);
    EXPECT_EQ(m.logs.at(1).records.size(), 20u);
    EXPECT_EQ(m.logs.at(1).records_per_block, 4);
    EXPECT_EQ(m.logs.at(0).records.size(), 5u);
    EXPECT_EQ(m.logs.count(3), 0u);

    ktest::write_file(path, "serial twelve\n");
    EXPECT_FALSE(ksim::load_meter_file(path, m, err));
    EXPECT_NE(err.find(":1:"), std::string::npos);
}

}  // namespace
