// SPDX-License-Identifier: MIT
// Meter content and windows: points, identity, scaling, File Info, log transfer.
#include <gtest/gtest.h>

#include "raw_client.hpp"
#include "simulator.hpp"

using namespace ktest;
using ksim::LogFile;
using ksim::Model;
using W = std::vector<std::uint16_t>;

namespace {

TEST(SimMeter, PointsUseTheModelsFamilyRegisters) {
    ksim::Simulator a(Model::em133), b(Model::em235);
    a.set_point(0x1780, 131073);
    b.set_point(0x1780, -2);
    a.set_point(0x1100, 2301);
    EXPECT_EQ(a.get_register(14760), 1);
    EXPECT_EQ(a.get_register(14761), 2);
    EXPECT_EQ(b.get_register(14784), 0xFFFE);
    EXPECT_EQ(b.get_register(14785), 0xFFFF);
    EXPECT_EQ(a.get_register(13952), 2301);
    EXPECT_EQ(b.point(0x1780), -2);
    EXPECT_THROW(a.set_point(0x2000, 1), std::invalid_argument);
    EXPECT_EQ(ksim::point_register(Model::em235, 0x1081), 13890);
    EXPECT_EQ(ksim::point_register(Model::em133, 0x4781), 20906);

    a.set_family_present(0x0C00, true);
    RawClient c(a.start());
    EXPECT_EQ(c.read(13312, 120), W(120, 0));
    a.set_family_present(0x0C00, false);
    EXPECT_EQ(c.call(1, pdu_read(13312, 2)).pdu, (Bytes{0x83, 2}));
}

TEST(SimMeter, IdentityAndScalingRegisters) {
    ksim::Simulator sim(Model::em235);
    ksim::Identity id;
    id.serial = 0x125678;
    id.model_id = 235;
    id.model_name = "AB12";
    id.options = 0x10002;
    id.firmware_version = 2;
    id.firmware_build = 3;
    id.bootloader_version = 4;
    id.bootloader_build = 5;
    sim.set_identity(id);
    sim.set_pt_ratio(10);
    sim.set_energy_decimals(2);
    sim.set_high_resolution(1);  // no such register on em235
    sim.set_energy_units({1, 2, 3});
    RawClient c(sim.start());
    W w = c.read(46080, 26);
    EXPECT_EQ(w[0], 0x5678);
    EXPECT_EQ(w[1], 0x12);
    EXPECT_EQ(w[2], 235);
    EXPECT_EQ(w[4], 0x4142);
    EXPECT_EQ(w[5], 0x3132);
    EXPECT_EQ(w[6], 0);
    EXPECT_EQ(w[12], 2);
    EXPECT_EQ(w[13], 1);
    EXPECT_EQ(w[20], 2);
    EXPECT_EQ(w[21], 3);
    EXPECT_EQ(w[24], 4);
    EXPECT_EQ(w[25], 5);
    EXPECT_EQ(c.read(46209, 1)[0], 10);
    EXPECT_EQ(c.read(46258, 1)[0], 2);
    EXPECT_FALSE(sim.get_register(2390).has_value());
    EXPECT_EQ(c.read(56672 + 8, 4), (W{0, 3, 0, 0}));
    EXPECT_TRUE(c.call(1, pdu_read(56672 + 12, 4)).is_exception());
    sim.set_pt_ratio(std::nullopt);
    sim.clear_identity();
    EXPECT_TRUE(c.call(2, pdu_read(46209, 1)).is_exception());
    EXPECT_TRUE(c.call(3, pdu_read(46080, 26)).is_exception());
}

TEST(SimMeter, RecordHelpers) {
    EXPECT_EQ(ksim::datalog_record(1, 2, 0x00030004, 0x00050006, 7, {-1, 65536}),
              (W{1, 2, 4, 3, 6, 5, 7, 0, 0xFFFF, 0xFFFF, 0, 1}));
    EXPECT_EQ(ksim::event_record(0, 9, 0x10000, 1000, 3, 0x6300, 0xF400, -2),
              (W{0, 9, 0, 1, 1000, 0, 3, 0x6300, 0xF400, 0, 0xFFFE, 0xFFFF}));
}

struct SimLogs : ::testing::Test {
    ksim::Simulator sim;
    std::unique_ptr<RawClient> c;
    void SetUp() override { c = std::make_unique<RawClient>(sim.start()); }

    static LogFile numbered(int n, int block) {
        LogFile f;
        for (int i = 0; i < n; ++i)
            f.records.push_back(
                ksim::datalog_record(0, static_cast<std::uint16_t>(i + 1), 1000u + i, 0, 0, {i}));
        f.records_per_block = block;
        return f;
    }
    Frame info(int file, int variant) {
        EXPECT_FALSE(c->writen(64944, {9, static_cast<std::uint16_t>(file), 0, 0, 0,
                                       static_cast<std::uint16_t>(variant), 0, 0})
                         .is_exception());
        EXPECT_EQ(c->read(64952, 8)[1], file);
        return c->call(77, pdu_read(64960, variant == 0 ? 14 : 18));
    }
    // next block: returns (records, words per record)
    std::pair<int, int> next(int file) {
        EXPECT_FALSE(
            c->writen(63120, {11, static_cast<std::uint16_t>(file), 0, 0, 0, 0}).is_exception());
        W h = c->read(63152, 8);
        return {h[4], h[5]};
    }
    W block(int records, int wpr) {  // read in chunks of up to 120
        W all;
        int total = records * wpr;
        for (int off = 0; off < total; off += 120) {
            W part = c->read(static_cast<std::uint16_t>(63160 + off),
                             static_cast<std::uint16_t>(std::min(120, total - off)));
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }
    void ack() { EXPECT_FALSE(c->write1(63120, 1).is_exception()); }
};

TEST_F(SimLogs, FileInfoVariants) {
    LogFile f = numbered(25, 10);
    f.columns = {0x1100, 0x1101, 0x1400};
    f.start_index = 100;
    sim.set_log(1, f);
    W v0 = info(1, 0).regs();
    ASSERT_EQ(v0.size(), 14u);
    EXPECT_EQ(v0[8], 25);
    EXPECT_EQ(v0[10], 100);
    EXPECT_EQ(v0[12], 100);
    W v2 = info(1, 2).regs();
    ASSERT_EQ(v2.size(), 18u);
    EXPECT_EQ(v2[1], 3);
    EXPECT_EQ((W{v2[2], v2[3], v2[4], v2[5]}), (W{0x1100, 0x1101, 0x1400, 0}));

    sim.update_log(1, [](LogFile& l) {
        l.info_records = 7;
        l.read_index = 3;
        l.info_var2_words = std::array<std::uint16_t, 18>{3, 0x1700, 0x1701, 0x1702};
    });
    v0 = info(1, 0).regs();
    EXPECT_EQ(v0[8], 7);
    EXPECT_EQ(v0[10], 3);
    EXPECT_EQ(info(1, 2).regs()[0], 3);

    EXPECT_EQ(info(5, 0).pdu, (Bytes{0x83, 2}));  // absent file
}

TEST_F(SimLogs, FileInfoRefusals) {
    LogFile f = numbered(3, 10);
    f.var2_refusal = {4, false};
    f.var0_refusal = {2, true};
    sim.set_log(2, f);
    EXPECT_EQ(info(2, 2).pdu, (Bytes{0x83, 4}));
    EXPECT_EQ(c->writen(64944, {9, 2, 0, 0, 0, 0, 0, 0}).pdu, (Bytes{0x90, 2}));
}

TEST_F(SimLogs, BlocksAcknowledgeAndReserve) {
    sim.set_log(1, numbered(25, 10));
    EXPECT_FALSE(c->writen(63120, {5, 1, 0, 0}).is_exception());  // select
    auto [n, wpr] = next(1);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(wpr, 10);
    W d = block(n, wpr);
    ASSERT_EQ(d.size(), 100u);
    EXPECT_EQ(d[1], 1);
    EXPECT_EQ(d[91], 10);
    // no acknowledge: the same block again
    EXPECT_EQ(next(1).first, 10);
    EXPECT_EQ(block(10, 10)[1], 1);
    ack();
    EXPECT_EQ(sim.log_cursor(1), 10u);
    next(1);
    EXPECT_EQ(block(10, 10)[1], 11);
    ack();
    EXPECT_EQ(next(1).first, 5);
    EXPECT_EQ(block(5, 10)[41], 25);
    EXPECT_TRUE(c->call(9, pdu_read(63160 + 50, 1)).is_exception());  // old data gone
    ack();
    EXPECT_EQ(next(1).first, 0);
    ack();
    EXPECT_EQ(next(1).first, 0);
    // seek back to the start (start index 0), and File Info shows the read index
    EXPECT_EQ(info(1, 0).regs()[10], 25);
    EXPECT_FALSE(c->writen(63120, {3, 1, 0, 0, 20, 0}).is_exception());
    EXPECT_EQ(sim.log_cursor(1), 20u);
    EXPECT_EQ(next(1).first, 5);
}

TEST_F(SimLogs, Modes) {
    LogFile f = numbered(6, 3);
    f.reserve_forever = true;
    sim.set_log(1, f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(next(1).first, 3);
        EXPECT_EQ(block(3, 10)[1], 1);
        ack();
    }

    f = numbered(6, 3);
    f.empty_at = 3;
    f.empty_count = 2;
    sim.set_log(2, f);
    EXPECT_EQ(next(2).first, 3);
    ack();
    EXPECT_EQ(next(2).first, 0);
    ack();
    EXPECT_EQ(next(2).first, 0);
    ack();
    EXPECT_EQ(next(2).first, 3);
    EXPECT_EQ(block(3, 10)[1], 4);

    LogFile e;
    e.endless = true;
    e.endless_first_seq = 65534;
    e.records_per_block = 2;
    sim.set_log(3, e);
    auto [n, wpr] = next(3);
    EXPECT_EQ(n, 2);
    W d = block(n, wpr);
    EXPECT_EQ(d[1], 65534);
    EXPECT_EQ(d[wpr + 1], 65535);
    ack();
    next(3);
    EXPECT_EQ(block(2, wpr)[1], 0);
    EXPECT_EQ(info(3, 0).regs()[8], 65535);

    LogFile h = numbered(4, 4);
    h.header_words = 7;
    h.header_records = 200;
    sim.set_log(4, h);
    EXPECT_EQ(next(4), (std::pair<int, int>{200, 7}));
}

// A circular log that overwrote its oldest records: the records left keep their sequence numbers
// and seek indexes (the start index wraps past 65535 here), File Info announces the records left,
// and a transfer in progress goes on with the record it was at, even when that one is gone.
TEST_F(SimLogs, WrappedLogKeepsSeekIndexes) {
    LogFile f = numbered(25, 4);
    f.start_index = 65530;
    f.info_records = 25;
    sim.set_log(1, f);
    for (int i = 0; i < 2; ++i) {
        next(1);
        ack();
    }
    sim.update_log(1, [](LogFile& l) { ksim::wrap_log(l, 20); });  // 1-5 overwritten
    const W v0 = info(1, 0).regs();
    EXPECT_EQ((W{v0[8], v0[10], v0[12]}), (W{20, 2, 65535}));  // records, read and start index
    EXPECT_EQ(next(1).first, 4);
    EXPECT_EQ(block(4, 10)[1], 9);
    for (const auto& [index, seq] : {std::pair<int, int>{65535, 6}, {13, 20}, {18, 25}}) {
        EXPECT_FALSE(
            c->writen(63120, {3, 1, 0, 0, static_cast<std::uint16_t>(index), 0}).is_exception());
        next(1);
        EXPECT_EQ(block(1, 10)[1], seq) << index;
    }
    EXPECT_FALSE(c->writen(63120, {3, 1, 0, 0, 65535, 0}).is_exception());
    next(1);                                                       // 6-9 served, not acknowledged
    sim.update_log(1, [](LogFile& l) { ksim::wrap_log(l, 18); });  // 6 and 7 overwritten
    ack();
    next(1);
    EXPECT_EQ(block(1, 10)[1], 10);
}

TEST_F(SimLogs, ClockWindowIsJournaledAndRefusable) {
    EXPECT_FALSE(c->write1(2575, 1).is_exception());
    sim.add_fault(ksim::Fault::exception(3).writes(4352, 4358));
    EXPECT_EQ(c->writen(4352, {0, 1, 2, 3, 4, 24, 7}).pdu, (Bytes{0x90, 3}));
    EXPECT_FALSE(c->write1(2575, 0).is_exception());
    auto j = sim.journal();
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[1].address, 4352);
    EXPECT_EQ(j[1].values, (W{0, 1, 2, 3, 4, 24, 7}));
    EXPECT_EQ(sim.get_register(2575), 0);
}

}  // namespace
