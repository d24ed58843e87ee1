// SPDX-License-Identifier: MIT
// The transfer window one block at a time, and the rules that decide which records of a block
// are delivered and when a transfer ends. Shared by the full read and the resumed read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logs/transfer.hpp"

namespace kolvane {

// Record status bits.
inline constexpr uint16_t END_OF_FILE = 0xEB00;
inline constexpr uint16_t END_OF_BLOCK = 0x1000;
inline constexpr uint16_t SKIP = 0x0400;
inline constexpr uint16_t LAST_RECORD = 0x0001;

// A record is new when its sequence number is 1 to 32768 ahead of the last delivered one.
inline bool is_newer(uint16_t seq, uint16_t last_seq) {
    return uint16_t(seq - last_seq - 1) < 32768;
}

std::string file_text(int file_id);

class BlockTransfer {
public:
    // max_records: a negative value means no limit.
    BlockTransfer(ModbusTcpClient& client, int file_id, int max_records,
                  const RecordConsumer& consumer);

    // Requests the next block and reads it into hand.
    void fetch();
    // Records of the block in hand; 0 when the meter served an empty block.
    size_t block_records() const { return records_; }
    std::span<const uint16_t> record(size_t r) const {
        return {data_.data() + r * words_per_record_, words_per_record_};
    }
    // Position of the first record that counts (no end flag before it, no skip flag), if any.
    std::optional<size_t> first_record() const;

    // Delivers what is new in the block in hand and acknowledges it; false when the transfer
    // ends (the meter gets one second chance for an empty block and one for a block that
    // brings no new record).
    bool take_block();
    // Fetches and takes blocks until the transfer ends.
    void take_rest();

    void acknowledge();
    void seek(uint16_t index);

    // Records whose sequence number is not newer than after_seq are passed over, not
    // delivered; they still count as progress.
    void skip_through(uint16_t after_seq) { skip_through_ = after_seq; }
    void deliver_all() { skip_through_.reset(); }
    // While records are passed over, the one carrying `seq` must carry `time_ms` (its stamp, see
    // record_stamp_ms): one that does not ends the transfer undelivered, and anchor() says so.
    void check_anchor(uint16_t seq, int64_t time_ms) { anchor_ = {seq, time_ms, Anchor::NOT_SEEN}; }
    enum class Anchor { NOT_SEEN, HELD, OTHER };
    Anchor anchor() const { return anchor_ ? anchor_->seen : Anchor::NOT_SEEN; }
    // At most `max_records` more records are delivered from now on; a negative value: no limit.
    void set_limit(int max_records) {
        max_records_ = max_records < 0 ? -1 : delivered_ + max_records;
    }
    // Forgets the records seen, as at the start of a transfer (after a seek back to the start).
    void restart();

    int delivered() const { return delivered_; }
    int requests() const { return requests_; }
    int file_id() const { return file_id_; }

private:
    ModbusTcpClient& client_;
    const int file_id_;
    int max_records_;
    const RecordConsumer& consumer_;

    std::vector<uint16_t> data_;
    size_t records_ = 0;
    size_t words_per_record_ = 0;

    int delivered_ = 0;
    int requests_ = 0;
    std::optional<uint16_t> last_seq_;   // of the last record delivered or passed over in order
    std::optional<uint16_t> first_seq_;  // of the first record taken in order
    std::optional<uint16_t> skip_through_;
    struct AnchorCheck {
        uint16_t seq;
        int64_t time_ms;
        Anchor seen;
    };
    std::optional<AnchorCheck> anchor_;
    bool empty_block_forgiven_ = false;
    bool stalled_block_forgiven_ = false;
};

// The debug line that ends every transfer: records delivered and block requests.
void log_transfer_summary(const BlockTransfer& transfer);

}  // namespace kolvane
