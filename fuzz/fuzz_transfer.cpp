// SPDX-License-Identifier: MIT
// The log transfer on arbitrary block headers and records served by the simulator: every
// delivered record has the announced length, the transfer ends, and failures are clean.
#include <cstdint>
#include <stdexcept>

#include "capi/frame.hpp"
#include "logs/transfer.hpp"
#include "modbus/client.hpp"
#include "simulator.hpp"
#include "words.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ksim::Simulator sim(ksim::Model::em133);
    static const uint16_t port = [] {
        sim.set_journal_enabled(
            false);  // a journal of every input's requests would grow without end
        return sim.start();
    }();
    if (size < 4) return 0;

    // Byte 0: records per block; byte 1: words per record; byte 2: modes; the rest: words.
    const size_t words_per_record = data[1] % 24;
    ksim::LogFile file;
    file.records_per_block = 1 + data[0] % 16;
    const std::vector<uint16_t> words = to_words(data + 4, size - 4);
    for (size_t at = 0;
         words_per_record > 0 && at + words_per_record <= words.size() && file.records.size() < 64;
         at += words_per_record) {
        file.records.emplace_back(words.begin() + long(at),
                                  words.begin() + long(at + words_per_record));
    }
    if (data[2] & 1) file.header_records = uint16_t(data[3] * 37);
    if (data[2] & 2) file.header_words = uint16_t(data[3] % 40);
    file.reserve_forever = data[2] & 4;
    if (data[2] & 8) {
        file.empty_at = data[3] % 8;
        file.empty_count = 1 + (data[2] >> 4) % 3;
    }
    sim.set_log(1, file);

    kolvane::ConnectionOptions options;
    options.port = port;
    options.timeout_ms = 2000;
    kolvane::ModbusTcpClient client("127.0.0.1", options);
    try {
        client.connect();
        const int limit = (data[2] & 0x40) ? -1 : 1 + data[3] % 100;
        int seen = 0;
        // A block served forever whose sequence numbers lie half the circle apart counts as
        // progress on every pass, so such inputs run into the 70000-request cap; stopping
        // them early keeps the fuzzer fast (the cap has a test of its own).
        const int delivered =
            kolvane::read_log_file(client, 1, limit, [&](std::span<const uint16_t> record) {
                if (record.size() < 8) __builtin_trap();
                if (++seen > 2000) throw kolvane::Cancelled();
            });
        if (delivered != seen || (limit > 0 && delivered > limit)) __builtin_trap();
    } catch (const std::runtime_error&) {}
    return 0;
}
