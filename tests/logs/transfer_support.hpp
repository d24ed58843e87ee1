// SPDX-License-Identifier: MIT
// Shared pieces of the transfer tests: small records and a consumer that keeps what it got.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "logs/transfer.hpp"
#include "simulator.hpp"

namespace ktest {

using Record = std::vector<uint16_t>;

// A 10-word data log record: the transfer looks only at the status and sequence words.
inline Record record(uint16_t seq, uint16_t status = 0) {
    return ksim::datalog_record(status, seq, 1700000000u + seq, 0, 0, {seq * 10});
}

inline ksim::LogFile log_file(std::vector<Record> records, int per_block) {
    ksim::LogFile file;
    file.records = std::move(records);
    file.records_per_block = per_block;
    return file;
}

struct Collected {
    std::vector<Record> records;

    kolvane::RecordConsumer consumer() {
        return [this](std::span<const uint16_t> words) {
            records.emplace_back(words.begin(), words.end());
        };
    }
    std::vector<uint16_t> seqs() const {
        std::vector<uint16_t> out;
        for (const Record& r : records) out.push_back(r[1]);
        return out;
    }
};

// Requests of one block: next-block request, header read, data read of `words` registers.
inline std::vector<std::string> block(int file_id, int words) {
    return {"FC16 63120 [11," + std::to_string(file_id) + ",0,0,0,0]", "FC3 63152 8",
            "FC3 63160 " + std::to_string(words)};
}
inline std::vector<std::string> empty_block(int file_id) {
    return {"FC16 63120 [11," + std::to_string(file_id) + ",0,0,0,0]", "FC3 63152 8"};
}
inline const std::vector<std::string> ACK = {"FC6 63120 [1]"};

}  // namespace ktest
