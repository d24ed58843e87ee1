// SPDX-License-Identifier: MIT
#include "logs/resume.hpp"

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

int64_t stamp_ms(std::span<const uint16_t> record) {
    return int64_t(low_first(record[2], record[3])) * 1000 + low_first(record[4], record[5]) / 1000;
}

std::string stamp_text(int64_t ms) {
    return fmt_iso_utc(uint32_t(ms / 1000), uint32_t(ms % 1000) * 1000);
}

// The record at `position` is the caller's: its sequence number and time stamp. Logs why not.
bool anchor_holds(const BlockTransfer& transfer, size_t position, const Anchor& anchor) {
    if (!anchor.time_ms) return true;
    const std::span<const uint16_t> record = transfer.record(position);
    if (record[1] == anchor.seq && stamp_ms(record) == *anchor.time_ms) return true;
    log_msg(LogLevel::Warning,
            file_text(transfer.file_id()) + "record " + std::to_string(anchor.seq) +
                " is not the one held (" +
                (record[1] == anchor.seq ? "stamped " + stamp_text(stamp_ms(record))
                                         : "sequence number " + std::to_string(record[1])) +
                ", not " + stamp_text(*anchor.time_ms) +
                "): the log started again; reading it all");
    return false;
}

// Reads the whole file from its start, delivering every record.
void read_all(BlockTransfer& transfer, const LogReadStart& start) {
    transfer.seek(start.start_index);
    transfer.restart();
    transfer.deliver_all();
    transfer.set_limit(start.records);
    transfer.take_rest();
}

// How many new records a resumed read should deliver, and whether it passed over older ones.
struct Expectation {
    int records = -1;  // -1: no count to hold the read to
    bool resumed = false;
};

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
        read_all(transfer, start);
        return {start.records, false};
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
        if (!at || !anchor_holds(transfer, *at, anchor)) {
            if (!at) {
                log_msg(LogLevel::Warning, file_text(transfer.file_id()) + "seek to index " +
                                               std::to_string(index) +
                                               " found no record: reading it all");
            }
            transfer.acknowledge();
            read_all(transfer, start);
            return {start.records, false};
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
    } else {
        // No record count or no oldest record to measure against: pass over the older
        // records as they come.
        transfer.skip_through(*after_seq);
        if (start.records < 0 || transfer.take_block()) transfer.take_rest();
    }
    if (expected.records > 0 && transfer.delivered() < expected.records) {
        log_msg(LogLevel::Warning,
                file_text(file_id) + std::to_string(transfer.delivered()) + " records read of " +
                    std::to_string(expected.records) + " announced" +
                    (expected.resumed ? " after sequence number " + std::to_string(*after_seq)
                                      : std::string()));
    }
    log_transfer_summary(transfer);
    return transfer.delivered();
}

}  // namespace kolvane
