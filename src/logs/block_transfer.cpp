// SPDX-License-Identifier: MIT
#include "logs/block_transfer.hpp"

#include <stdexcept>

#include "ground/log.hpp"
#include "modbus/client.hpp"

namespace kolvane {
namespace {

constexpr uint16_t TRANSFER_REQUEST = 63120;
constexpr uint16_t BLOCK_HEADER = 63152;
constexpr uint16_t BLOCK_DATA = 63160;
constexpr uint16_t SEEK = 3;
constexpr uint16_t NEXT_BLOCK = 11;
constexpr uint16_t ACKNOWLEDGE = 1;
constexpr int MAX_BLOCK_REQUESTS = 70000;

// The block data window holds at most this many registers before the address wraps.
constexpr uint32_t BLOCK_DATA_CAPACITY = 65536u - BLOCK_DATA;

// Number of registers the header announces; a block that cannot be read as announced is a
// malformed reply, never a reason to cut records from data that was not read.
uint16_t block_size(int file_id, uint16_t records, uint16_t words_per_record) {
    const uint32_t total = uint32_t(records) * words_per_record;
    if (total > BLOCK_DATA_CAPACITY) {
        throw std::runtime_error(file_text(file_id) + "block header announces " +
                                 std::to_string(records) + " records of " +
                                 std::to_string(words_per_record) +
                                 " words, more than the meter's block window holds");
    }
    return uint16_t(total);
}

}  // namespace

std::string file_text(int file_id) { return "File " + std::to_string(file_id) + ": "; }

BlockTransfer::BlockTransfer(ModbusTcpClient& client, int file_id, int max_records,
                             const RecordConsumer& consumer)
    : client_(client), file_id_(file_id), max_records_(max_records), consumer_(consumer) {}

void BlockTransfer::fetch() {
    ++requests_;
    client_.write_multiple_registers(TRANSFER_REQUEST,
                                     {NEXT_BLOCK, uint16_t(file_id_), 0, 0, 0, 0});
    const std::vector<uint16_t> header = read_words(client_, BLOCK_HEADER, 8);
    const uint16_t records = header[4];
    const uint16_t words_per_record = header[5];
    if (records == 0 || words_per_record <= 7) {
        records_ = 0;
        words_per_record_ = 0;
        data_.clear();
        return;
    }
    data_ = read_words(client_, BLOCK_DATA, block_size(file_id_, records, words_per_record));
    records_ = records;
    words_per_record_ = words_per_record;
}

std::optional<size_t> BlockTransfer::first_record() const {
    for (size_t r = 0; r < records_; ++r) {
        const uint16_t status = record(r)[0];
        if (status & (END_OF_FILE | END_OF_BLOCK)) return std::nullopt;
        if (!(status & SKIP)) return r;
    }
    return std::nullopt;
}

bool BlockTransfer::take_block() {
    if (records_ == 0) {
        if (empty_block_forgiven_) return false;
        empty_block_forgiven_ = true;
        acknowledge();
        return true;
    }
    bool end = false;
    int progress = 0;
    for (size_t r = 0; r < records_ && !end; ++r) {
        const std::span<const uint16_t> words = record(r);
        const uint16_t status = words[0];
        const uint16_t seq = words[1];
        if (status & END_OF_FILE) {
            end = true;
            break;
        }
        if (status & END_OF_BLOCK) break;
        if (status & SKIP) continue;
        if (last_seq_ && !is_newer(seq, *last_seq_)) {
            // A block served again repeats records of this transfer; one from before its first
            // record is no record of this transfer's log at this place.
            if (uint16_t(*last_seq_ - seq) > uint16_t(*last_seq_ - *first_seq_)) {
                throw std::runtime_error(
                    file_text(file_id_) + "sequence number " + std::to_string(seq) + " after " +
                    std::to_string(*last_seq_) +
                    " runs back past the transfer's first record: another transfer moved the "
                    "meter's window");
            }
            continue;
        }
        if (!first_seq_) first_seq_ = seq;
        last_seq_ = seq;
        ++progress;
        if (skip_through_) {
            if (!is_newer(seq, *skip_through_)) {
                if (anchor_ && seq == anchor_->seq) {
                    const bool held = record_stamp_ms(words) == anchor_->time_ms;
                    anchor_->seen = held ? Anchor::HELD : Anchor::OTHER;
                    if (!held) {
                        end = true;
                        break;
                    }
                }
                continue;
            }
            skip_through_.reset();
        }
        if (max_records_ >= 0 && delivered_ >= max_records_) {
            end = true;
            break;
        }
        consumer_(words);
        ++delivered_;
        if (status & LAST_RECORD) end = true;
        if (max_records_ >= 0 && delivered_ >= max_records_) end = true;
    }
    if (!end) {
        if (progress > 0) {
            stalled_block_forgiven_ = false;
        } else if (stalled_block_forgiven_) {
            log_msg(LogLevel::Warning, file_text(file_id_) +
                                           "no forward progress, stopping after " +
                                           std::to_string(delivered_) + " records");
            return false;
        } else {
            stalled_block_forgiven_ = true;
        }
    }
    acknowledge();
    if (end) return false;
    empty_block_forgiven_ = false;
    return true;
}

void BlockTransfer::take_rest() {
    while (requests_ < MAX_BLOCK_REQUESTS) {
        fetch();
        if (!take_block()) break;
    }
}

void BlockTransfer::acknowledge() { client_.write_single_register(TRANSFER_REQUEST, ACKNOWLEDGE); }

void BlockTransfer::seek(uint16_t index) {
    client_.write_multiple_registers(TRANSFER_REQUEST, {SEEK, uint16_t(file_id_), 0, 0, index, 0});
}

void log_transfer_summary(const BlockTransfer& transfer) {
    if (!log_enabled()) return;
    log_msg(LogLevel::Debug, file_text(transfer.file_id()) + std::to_string(transfer.delivered()) +
                                 " records in " + std::to_string(transfer.requests()) + " blocks");
}

void BlockTransfer::restart() {
    last_seq_.reset();
    first_seq_.reset();
    empty_block_forgiven_ = false;
    stalled_block_forgiven_ = false;
}

}  // namespace kolvane
