// SPDX-License-Identifier: MIT
#include "logs/resume.hpp"

#include <stdexcept>
#include <string>

#include "ground/log.hpp"
#include "ground/text.hpp"
#include "ground/words.hpp"
#include "logs/block_transfer.hpp"

namespace kolvane {
namespace {

std::string seq_range(uint16_t oldest, int records) {
    return std::to_string(oldest) + "-" + std::to_string(uint16_t(oldest + records - 1));
}

// After a seek past the older records: the first record must carry after_seq + 1, or the
// meter's index is not a record position. Logs what it found when it is not.
bool seek_landed(const BlockTransfer& transfer, uint16_t index, uint16_t after_seq) {
    const uint16_t wanted = uint16_t(after_seq + 1);
    const std::optional<size_t> first = transfer.first_record();
    if (first && transfer.record(*first)[1] == wanted) return true;
    const std::string found =
        first ? "sequence number " + std::to_string(transfer.record(*first)[1]) : "no record";
    log_msg(LogLevel::Info, file_text(transfer.file_id()) + "seek to index " +
                                std::to_string(index) + " found " + found + ", not " +
                                std::to_string(wanted) + ": reading from the start");
    return false;
}

// The record the caller resumes after: its sequence number and, when the caller knows it, its
// time stamp as the meter wrote it.
struct Anchor {
    uint16_t seq;
    std::optional<int64_t> time_ms;
};

std::string stamp_text(int64_t ms) {
    return fmt_iso_utc(uint32_t(ms / 1000), uint32_t(ms % 1000) * 1000);
}

// The record at `position` is the caller's: its sequence number and time stamp. Logs why not.
bool anchor_holds(const BlockTransfer& transfer, size_t position, const Anchor& anchor) {
    if (!anchor.time_ms) return true;
    const std::span<const uint16_t> record = transfer.record(position);
    if (record[1] == anchor.seq && record_stamp_ms(record) == *anchor.time_ms) return true;
    log_msg(LogLevel::Warning,
            file_text(transfer.file_id()) + "record " + std::to_string(anchor.seq) +
                " is not the one held (" +
                (record[1] == anchor.seq ? "stamped " + stamp_text(record_stamp_ms(record))
                                         : "sequence number " + std::to_string(record[1])) +
                ", not " + stamp_text(*anchor.time_ms) +
                "): the log started again; reading it all");
    return false;
}

// How many records a read should deliver from where it began, and whether it passed over older
// ones.
struct Expectation {
    int records = -1;  // -1: no count to hold the read to
    bool resumed = false;
    int delivered_before = 0;  // records the call delivered before this read began
};

// Reads the whole file from its start, delivering every record.
Expectation read_all(BlockTransfer& transfer, const LogReadStart& start) {
    const Expectation whole{start.records, false, transfer.delivered()};
    transfer.seek(start.start_index);
    transfer.restart();
    transfer.deliver_all();
    transfer.set_limit(start.records);
    transfer.take_rest();
    return whole;
}

// The seek to the caller's record served another one: the meter's index is not a record
// position. Reads from the start, passing over the older records and checking the caller's as
// it passes; a log that started again is read whole.
Expectation pass_over_from_start(BlockTransfer& transfer, const LogReadStart& start,
                                 const Anchor& anchor, int expected) {
    transfer.seek(start.start_index);
    transfer.restart();
    transfer.skip_through(anchor.seq);
    transfer.check_anchor(anchor.seq, *anchor.time_ms);
    transfer.set_limit(expected);
    transfer.take_rest();
    if (transfer.anchor() != BlockTransfer::Anchor::OTHER) return {expected, true};
    log_msg(LogLevel::Warning, file_text(transfer.file_id()) + "record " +
                                   std::to_string(anchor.seq) +
                                   " is not the one held: the log started again; reading it all");
    return read_all(transfer, start);
}

// Continues a transfer whose first block is in hand, its oldest record at position `first`.
Expectation resume_after(BlockTransfer& transfer, const LogReadStart& start, size_t first,
                         const Anchor& anchor) {
    const uint16_t after_seq = anchor.seq;
    const uint16_t oldest = transfer.record(first)[1];
    const int skip = uint16_t(after_seq - oldest + 1);
    if (skip > start.records) {
        log_msg(LogLevel::Warning, file_text(transfer.file_id()) + "after_seq " +
                                       std::to_string(after_seq) +
                                       " is not in the log (sequence numbers " +
                                       seq_range(oldest, start.records) + "): reading it all");
        transfer.set_limit(start.records);
        if (transfer.take_block()) transfer.take_rest();
        return {start.records, false};
    }
    const int expected = start.records - skip;
    // The caller's record, when the log still holds it and its stamp is known, is checked where
    // it lies: in this block, or as the first record after a seek to it.
    const bool check_anchor = anchor.time_ms && skip > 0;
    if (check_anchor && first + skip - 1 < transfer.block_records() &&
        !anchor_holds(transfer, first + skip - 1, anchor)) {
        transfer.acknowledge();
        return read_all(transfer, start);
    }
    if (expected == 0 && (!check_anchor || first + skip - 1 < transfer.block_records())) {
        transfer.acknowledge();  // after_seq is the newest record
        return {0, true};
    }
    transfer.set_limit(expected);
    transfer.skip_through(after_seq);
    if (first + skip < transfer.block_records()) {  // the new records start in this block
        if (transfer.take_block()) transfer.take_rest();
        return {expected, true};
    }
    transfer.acknowledge();
    if (check_anchor) {
        // A seek to the caller's record: the first one served must be it.
        const uint16_t index = uint16_t(start.start_index + first + skip - 1);
        transfer.seek(index);
        transfer.fetch();
        transfer.restart();
        transfer.skip_through(after_seq);
        const std::optional<size_t> at = transfer.first_record();
        if (!at || transfer.record(*at)[1] != after_seq) {
            log_msg(LogLevel::Info,
                    file_text(transfer.file_id()) + "seek to index " + std::to_string(index) +
                        " found " +
                        (at ? "sequence number " + std::to_string(transfer.record(*at)[1])
                            : std::string("no record")) +
                        ", not " + std::to_string(after_seq) + ": reading from the start");
            return pass_over_from_start(transfer, start, anchor, expected);
        }
        if (!anchor_holds(transfer, *at, anchor)) {
            transfer.acknowledge();
            return read_all(transfer, start);
        }
        if (expected == 0) {
            transfer.acknowledge();
            return {0, true};
        }
        if (transfer.take_block()) transfer.take_rest();
        return {expected, true};
    }
    const uint16_t index = uint16_t(start.start_index + first + skip);
    transfer.seek(index);
    transfer.fetch();
    // The records seen in the first block say nothing about those after the seek.
    transfer.restart();
    transfer.skip_through(after_seq);
    if (seek_landed(transfer, index, after_seq)) {
        if (transfer.take_block()) transfer.take_rest();
    } else {
        transfer.seek(start.start_index);
        transfer.take_rest();
    }
    return {expected, true};
}

}  // namespace

int read_log_file_after(ModbusTcpClient& client, int file_id, const LogReadStart& start,
                        std::optional<uint16_t> after_seq, const RecordConsumer& consumer,
                        std::optional<int64_t> after_time_ms) {
    if (!after_seq) return read_log_file(client, file_id, start.records, consumer);
    if (start.records == 0) return 0;

    BlockTransfer transfer(client, file_id, -1, consumer);
    Expectation expected;
    std::optional<size_t> first;
    if (start.records > 0) {
        transfer.fetch();
        first = transfer.first_record();
    }
    if (first) {
        expected = resume_after(transfer, start, *first, Anchor{*after_seq, after_time_ms});
    } else if (start.records > 0) {
        // Nothing to measure the caller's record against although the meter announces records.
        log_msg(LogLevel::Warning, file_text(file_id) + "the first block holds no record of the " +
                                       std::to_string(start.records) +
                                       " announced: reading it all");
        transfer.acknowledge();
        expected = read_all(transfer, start);
    } else {
        // No record count to measure against: pass over the older records as they come.
        transfer.skip_through(*after_seq);
        transfer.take_rest();
    }
    const auto read = [&] { return transfer.delivered() - expected.delivered_before; };
    if (expected.resumed && read() < expected.records) {
        // The meter served fewer of the records after the caller's than it announces: what it
        // holds is read from the start, so that a record it left out here is not left out for
        // good.
        log_msg(LogLevel::Warning, file_text(file_id) + std::to_string(read()) +
                                       " records read of " + std::to_string(expected.records) +
                                       " announced after sequence number " +
                                       std::to_string(*after_seq) + ": reading it all");
        expected = read_all(transfer, start);
    }
    log_transfer_summary(transfer);
    if (expected.records > 0 && read() < expected.records) {
        // The caller of a resumed read cannot tell what it left out: the read fails, what it
        // delivered stays delivered.
        throw std::runtime_error(file_text(file_id) + std::to_string(read()) + " records read of " +
                                 std::to_string(expected.records) + " announced");
    }
    return transfer.delivered();
}

}  // namespace kolvane
