// SPDX-License-Identifier: MIT
// The realistic default meter of kolvane-sim.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "raw_client.hpp"
#include "simulator.hpp"
#include "zone_clock.hpp"

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

// The time stamp (words 2-3) of a record.
std::int64_t stamp_of(const W& record) { return record[2] | (std::int64_t{record[3]} << 16); }

// A meter whose clock is set to Berlin's wall time stamps every record with the wall time of the
// instant it was recorded, 15 minutes apart in true time: across the change back to winter time an
// hour of stamps comes twice, across the change to summer time the stamps jump by 75 minutes.
// Records appended across the change follow the same clock.
TEST(SimDefaultMeter, WallClockStampsFollowTheTimeZone) {
    const ksim::WallClock berlin = *ksim::zone_wall_clock("Europe/Berlin");
    const struct {
        std::int64_t now;
        std::int64_t odd_step;  // the one step between stamps that is not 15 minutes
    } cases[] = {
        {1793016000, -2700},  // 2026-10-26T12:00Z: 02:45 summer time, then 02:00 winter time
        {1774872000, 4500},   // 2026-03-30T12:00Z: 01:45 winter time, then 03:00 summer time
    };
    const int records = 192, appended = 144;  // two days, the change 35 hours before `now`
    for (const auto& c : cases) {
        const ksim::Meter on_utc = ksim::default_meter(Model::em133, records, c.now, 40);
        const ksim::Meter on_wall = ksim::default_meter(Model::em133, records, c.now, 40, berlin);
        for (const auto& [file, log] : on_utc.logs) {
            const auto& stamped = on_wall.logs.at(file).records;
            ASSERT_EQ(stamped.size(), log.records.size());
            for (std::size_t i = 0; i < stamped.size(); ++i) {
                W expected = log.records[i];
                const auto wall = static_cast<std::uint32_t>(berlin(stamp_of(expected)));
                expected[2] = static_cast<std::uint16_t>(wall);
                expected[3] = static_cast<std::uint16_t>(wall >> 16);
                EXPECT_EQ(stamped[i], expected) << c.now << " file " << file << " record " << i;
            }
        }
        const auto& data = on_wall.logs.at(1).records;
        std::map<std::int64_t, int> steps;
        for (std::size_t i = 1; i < data.size(); ++i)
            ++steps[stamp_of(data[i]) - stamp_of(data[i - 1])];
        EXPECT_EQ(steps, (std::map<std::int64_t, int>{{900, records - 2}, {c.odd_step, 1}}));

        const std::int64_t before = c.now - appended * 900;
        ksim::LogFile log =
            ksim::default_meter(Model::em133, records - appended, before, 0, berlin).logs.at(1);
        ksim::append_next_records(log, appended, ksim::newest_record_time(before) + 900, berlin);
        ASSERT_EQ(log.records.size(), data.size());
        for (std::size_t i = 0; i < data.size(); ++i)  // status, sequence number, stamp
            EXPECT_EQ(W(log.records[i].begin(), log.records[i].begin() + 4),
                      W(data[i].begin(), data[i].begin() + 4))
                << c.now << " record " << i;
    }
}

}  // namespace
