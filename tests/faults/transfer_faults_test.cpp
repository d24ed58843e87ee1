// SPDX-License-Identifier: MIT
// Faults of the log transfer itself: block headers that announce nothing, too little or too
// much, a log that never ends, a block served again and again, sequence numbers that go
// backwards. Each runs against the four log operations.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fault_check.hpp"
#include "support/log_capture.hpp"

namespace kfault {
namespace {

using ksim::Fault;
using ksim::LogFile;

// The fixture log of the operation, changed.
void change_log(ksim::Simulator& sim, Op op, const std::function<void(LogFile&)>& change) {
    LogFile file = log_file_of(op) == 0 ? event_log() : data_log();
    change(file);
    sim.set_log(log_file_of(op), file);
}

// A log that never ends: 10-word records whose sequence numbers count from `first_seq`.
LogFile endless(uint16_t first_seq, uint16_t records) {
    LogFile file;
    file.endless = true;
    file.endless_first_seq = first_seq;
    file.info_records = records;
    file.columns = {0x1100};
    return file;
}

// The first `records` records of that endless log as an ordinary log announcing
// `info_records`: what the endless one must hand back.
Outcome finite_copy(Op op, uint16_t first_seq, int records, uint16_t info_records) {
    LogFile file;
    for (int i = 0; i < records; ++i) {
        file.records.push_back(ksim::datalog_record(0, uint16_t(first_seq + i),
                                                    1700000000u + 900u * uint32_t(i), 0, 0, {i}));
    }
    file.columns = {0x1100};
    file.info_records = info_records;
    FaultMeter meter;
    meter.sim.set_log(log_file_of(op), file);
    return run(op, meter.call());
}

std::string file_prefix(Op op) { return "File " + std::to_string(log_file_of(op)) + ": "; }

std::string window_message(Op op, int records, int words) {
    return file_prefix(op) + "block header announces " + std::to_string(records) + " records of " +
           std::to_string(words) + " words, more than the meter's block window holds";
}

// The fixture log's records with older ones served between record 4 and record 5.
void older_records_between(ksim::Simulator& sim, Op op, int older_blocks) {
    change_log(sim, op, [&](LogFile& file) {
        std::vector<std::vector<uint16_t>> older;
        for (int i = 0; i < older_blocks * PER_BLOCK; ++i) {
            older.push_back(file.records[size_t(i % 4)]);
            older.back()[1] = uint16_t(older.back()[1] - 20);  // 20 behind: long delivered
        }
        file.records.insert(file.records.begin() + 4, older.begin(), older.end());
        file.info_records = RECORDS;
    });
}

// The failure of a transfer served the records of older_records_between after its fourth.
std::string runs_back(Op op) {
    const int first = log_file_of(op) == 0 ? 201 : 101;  // the fixture's first sequence number
    return file_prefix(op) + "sequence number " + std::to_string(first - 20) + " after " +
           std::to_string(first + 3) +
           " runs back past the transfer's first record: another transfer moved the meter's "
           "window";
}

// The debug summary "File N: D records in B blocks" ends a transfer that was not broken off.
bool summary_logged(const ktest::LogCapture& log, Op op) {
    for (const std::string& message : log.at_level(KOLVANE_LOG_DEBUG)) {
        if (message.rfind(file_prefix(op), 0) == 0 &&
            message.find(" records in ") != std::string::npos)
            return true;
    }
    return false;
}

int acknowledges(const ksim::Simulator& sim) {
    int count = 0;
    for (const ksim::Request& request : sim.journal())
        count += request.function == 6 && request.address == 63120;
    return count;
}

struct TransferFault {
    std::string what;
    std::function<void(ksim::Simulator&, Op)> fault;
    std::function<Expected(Op)> expected;
    std::function<std::vector<std::string>(Op)> warnings = [](Op) {
        return std::vector<std::string>{};
    };
    int cancel_after = 0;
};

// The warning of a transfer that ended before the count the meter announced.
std::vector<std::string> short_of(Op op, int read) {
    return {file_prefix(op) + std::to_string(read) + " records read of " + std::to_string(RECORDS) +
            " announced"};
}

// No record came: the stream still gets its header, the CSV its header line.
Expected nothing_delivered(Op op) { return {0, "", first(healthy(op).texts, 1), 0}; }

std::vector<TransferFault> transfer_faults() {
    const std::vector<uint16_t> oversized_header = {3, 16, 0,   0, 0,  0, 0, 0, 0,
                                                    0, 0,  199, 0, 12, 0, 0, 0, 0};
    return {
        {"block header with 0 records",
         [](ksim::Simulator& sim, Op op) {
             change_log(sim, op, [](LogFile& f) { f.header_records = 0; });
         },
         nothing_delivered, [](Op op) { return short_of(op, 0); }},
        {"block header with 7 words per record",
         [](ksim::Simulator& sim, Op op) {
             change_log(sim, op, [](LogFile& f) { f.header_words = 7; });
         },
         nothing_delivered, [](Op op) { return short_of(op, 0); }},
        {"second block header announces more registers than the window holds",
         [oversized_header](ksim::Simulator& sim, Op) {
             sim.add_fault(
                 Fault::pdu(std::vector<uint8_t>(oversized_header.begin(), oversized_header.end()))
                     .reads(63152)
                     .nth(2));
         },
         [](Op op) {
             return Expected{-1, window_message(op, 199, 12),
                             first(healthy(op).texts, 1 + PER_BLOCK), 0};
         }},
        // The data log's header comes with its first record, so nothing of it is kept here.
        {"first block header announces 65535 records of 65535 words",
         [](ksim::Simulator& sim, Op op) {
             change_log(sim, op, [](LogFile& f) { f.header_records = f.header_words = 65535; });
         },
         [](Op op) {
             return Expected{-1, window_message(op, 65535, 65535),
                             first(healthy(op).texts, log_file_of(op) == 0 ? 1 : 0), 0};
         }},
        {"block served again and again",
         [](ksim::Simulator& sim, Op op) {
             change_log(sim, op, [](LogFile& f) { f.reserve_forever = true; });
         },
         [](Op op) {
             return Expected{PER_BLOCK, "", first(healthy(op).texts, 1 + PER_BLOCK), 0};
         },
         [](Op op) {
             return std::vector<std::string>{
                 file_prefix(op) + "no forward progress, stopping after 2 records",
                 short_of(op, 2)[0]};
         }},
        // Records from before the transfer's first one are another log's, served because
        // another transfer moved the meter's window: the transfer stops before them.
        {"sequence numbers go back for one block",
         [](ksim::Simulator& sim, Op op) { older_records_between(sim, op, 1); },
         [](Op op) {
             return Expected{-1, runs_back(op), first(healthy(op).texts, 5), 0};
         }},
        {"sequence numbers go back for two blocks",
         [](ksim::Simulator& sim, Op op) { older_records_between(sim, op, 2); },
         [](Op op) {
             return Expected{-1, runs_back(op), first(healthy(op).texts, 5), 0};
         }},
        {"empty block inside the log",
         [](ksim::Simulator& sim, Op op) {
             change_log(sim, op, [](LogFile& f) {
                 f.empty_at = 2;
                 f.empty_count = 1;
             });
         },
         [](Op op) {
             return Expected{RECORDS, "", healthy(op).texts, 0};
         }},
        {"log that never ends, bounded by its record count",
         [](ksim::Simulator& sim, Op op) { sim.set_log(log_file_of(op), endless(1, 25)); },
         [](Op op) {
             return Expected{25, "", finite_copy(op, 1, 25, 25).texts, 0};
         }},
        {"log that never ends, sequence numbers wrapping",
         [](ksim::Simulator& sim, Op op) { sim.set_log(log_file_of(op), endless(65530, 25)); },
         [](Op op) {
             return Expected{25, "", finite_copy(op, 65530, 25, 25).texts, 0};
         }},
        {"log that never ends nor tells its size, cancelled by the caller",
         [](ksim::Simulator& sim, Op op) { sim.set_log(log_file_of(op), endless(1, 65535)); },
         [](Op op) {
             return Expected{-2, "Cancelled by caller",
                             first(finite_copy(op, 1, 25, 65535).texts, 1 + 15), 0};
         },
         [](Op) { return std::vector<std::string>{}; }, 15},
    };
}

TEST(TransferFaults, EachLogOperation) {
    for (const TransferFault& row : transfer_faults()) {
        SCOPED_TRACE(row.what);
        for (const Op op : LOG_OPS) {
            FaultMeter meter;
            row.fault(meter.sim, op);
            const Expected want = row.expected(op);
            {
                ktest::LogCapture log;
                const Outcome got = expect_call(&meter.sim, op, meter.call(row.cancel_after), want);
                EXPECT_EQ(log.at_level(KOLVANE_LOG_WARNING), row.warnings(op)) << op_name(op);
                EXPECT_EQ(summary_logged(log, op), got.status >= 0)
                    << "transfer summary, " << op_name(op);
            }
            if (row.cancel_after > 0) {
                EXPECT_EQ(acknowledges(meter.sim), 1) << "the cancelled block is not acknowledged";
            }
            expect_recovers(meter, op);
        }
    }
}

}  // namespace
}  // namespace kfault
