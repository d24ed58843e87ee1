// SPDX-License-Identifier: MIT
// The whole-call deadline: a meter that stops answering costs one deadline, whatever the
// time-out and however many fallback reads the operation would otherwise try; what was
// handed back before it passed stays handed back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_check.hpp"

namespace kfault {
namespace {

using ksim::Fault;

constexpr int DEADLINE_MS = 400;
constexpr int LONG_TIMEOUT_MS = 3000;  // never the bound: every wait ends at the deadline
const std::string EXPIRED = "Deadline of " + std::to_string(DEADLINE_MS) + " ms exceeded";

Call with_deadline(const FaultMeter& meter) {
    Call call = meter.call();
    call.timeout_ms = LONG_TIMEOUT_MS;
    call.deadline_ms = DEADLINE_MS;
    return call;
}

// What a call that fails before its first record keeps: the event log CSV writes its header
// before it asks the meter anything.
std::vector<std::string> kept_before_any_answer(Op op) {
    return op == Op::eventlog_csv ? first(healthy(op).texts, 1) : std::vector<std::string>{};
}

TEST(DeadlineFaults, SilentMeterCostsOneDeadline) {
    for (const Op op : ALL_OPS) {
        FaultMeter meter;
        meter.sim.add_fault(Fault::no_reply());
        expect_call(&meter.sim, op, with_deadline(meter),
                    {-1, EXPIRED, kept_before_any_answer(op), 0});
        expect_recovers(meter, op);
    }
}

// Reads that fall back to defaults or to smaller reads when refused: a deadline that passes
// while one of them waits ends the call instead of turning into defaults (a PT ratio of 1, a
// live set without its points, a data log without columns).
struct FallbackCase {
    const char* name;
    Op op;
    uint16_t first_register;
    int last_register;
};

TEST(DeadlineFaults, NoFallbackAbsorbsTheDeadline) {
    const uint16_t v1 = *ksim::point_register(ksim::Model::em133, 0x1100);
    const FallbackCase cases[] = {
        {"PT ratio", Op::device_info, ksim::PT_RATIO_EM133, -1},
        {"energy decimals", Op::live, ksim::ENERGY_DECIMALS_EM133, -1},
        {"a live family", Op::live, v1, v1 + 1},
        {"File Info", Op::list_logs, ksim::FILE_INFO_DATA, ksim::FILE_INFO_DATA + 17},
        {"the column list", Op::datalog_stream, ksim::FILE_INFO_DATA, ksim::FILE_INFO_DATA + 17},
    };
    for (const FallbackCase& c : cases) {
        SCOPED_TRACE(c.name);
        FaultMeter meter;
        meter.sim.add_fault(Fault::no_reply().reads(c.first_register, c.last_register));
        expect_call(&meter.sim, c.op, with_deadline(meter), {-1, EXPIRED, {}, 0});
    }
}

TEST(DeadlineFaults, RecordsBeforeTheDeadlineStay) {
    for (const Op op : LOG_OPS) {
        FaultMeter meter;
        meter.sim.add_fault(Fault::no_reply().reads(ksim::BLOCK_HEADER).nth(2));
        // The header (record or CSV line) and the first block's records.
        expect_call(&meter.sim, op, with_deadline(meter),
                    {-1, EXPIRED, first(healthy(op).texts, 1 + PER_BLOCK), 0});
    }
}

// A meter that never answers File Info is unreachable, not a meter without logs: the first
// file ends the call. One that says it has no such file, for every file, has none to list.
TEST(DeadlineFaults, ListingLogsOfAMeterThatNeverAnswersFails) {
    FaultMeter silent;
    silent.sim.add_fault(Fault::no_reply().writes(ksim::FILE_INFO_REQUEST));
    expect_call(&silent.sim, Op::list_logs, silent.call(),
                {-1, "Cannot read File Info of the event log (file 0): " + NO_REPLY, {}, 1});

    FaultMeter closing;
    closing.sim.add_fault(Fault::close().writes(ksim::FILE_INFO_REQUEST));
    const Outcome closed = run(Op::list_logs, closing.call());
    EXPECT_EQ(closed.status, -1);
    EXPECT_TRUE(closed.err.starts_with("Cannot read File Info of the event log (file 0): socket"))
        << closed.err;

    FaultMeter refusing;
    refusing.sim.add_fault(Fault::exception(2).writes(ksim::FILE_INFO_REQUEST));
    const Outcome refused = run(Op::list_logs, refusing.call());
    EXPECT_EQ(refused.status, 0) << refused.err;
    ASSERT_EQ(refused.texts.size(), 1u);
    EXPECT_NE(refused.texts[0].find("\"logs\":[]"), std::string::npos) << refused.texts[0];
}

}  // namespace
}  // namespace kfault
