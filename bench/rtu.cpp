// SPDX-License-Identifier: MIT
// Modbus RTU benchmark: the default em133's data log of 2,880 records read by kolvane_read_datalog
// as RTU frames over TCP from the simulator, which paces its line at 9600, 19200 and 115200 baud
// (8E1, 11 bits a character). The time is set against the line's own limit: every request and
// reply character at the line's speed, and the 3.5-character silence before each frame.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "kolvane.h"
#include "simulator.hpp"
#include "support/measure.hpp"

namespace {

constexpr int FILE_ID = 1;
constexpr int BITS_PER_CHAR = 11;

int count_record(const char*, void* user) {
    ++*static_cast<int*>(user);
    return 0;
}

// Characters on the line for one journaled exchange: the request frame and its reply.
size_t exchange_chars(const ksim::Request& request) {
    const size_t request_chars = 1 + request.pdu.size() + 2;
    size_t reply_chars = 8;  // a write's echo of address and quantity
    if (request.exception != 0) {
        reply_chars = 5;
    } else if (request.function == 3) {
        reply_chars = 5 + 2 * size_t(request.quantity);
    }
    return request_chars + reply_chars;
}

}  // namespace

int main() try {
    const ksim::Meter meter = ksim::default_meter(ksim::Model::em133);
    const size_t records = meter.logs.at(FILE_ID).records.size();
    std::printf("%zu records of %zu words, %d per block; RTU over TCP, 8E1\n", records,
                meter.logs.at(FILE_ID).records.at(0).size(),
                meter.logs.at(FILE_ID).records_per_block);
    std::printf("%8s %9s %11s %10s %10s %7s\n", "baud", "requests", "characters", "time s",
                "limit s", "ratio");
    for (const int baud : {9600, 19200, 115200}) {
        ksim::Simulator sim(meter);
        ksim::RtuLine line;
        line.baud = baud;
        const std::uint16_t port = sim.start_rtu_tcp(0, "127.0.0.1", line);
        const std::string options = "{\"rtu\":1,\"port\":" + std::to_string(port) +
                                    ",\"baud\":" + std::to_string(baud) + "}";
        int delivered = 0;
        char err[256] = "";
        const auto start = kbench::Clock::now();
        const int n = kolvane_read_datalog("127.0.0.1", "em133", FILE_ID, options.c_str(),
                                           count_record, &delivered, err, sizeof err);
        const double seconds = kbench::seconds_since(start);
        if (n != int(records)) throw std::runtime_error(std::string("read_datalog: ") + err);

        size_t chars = 0;
        const std::vector<ksim::Request> journal = sim.journal();
        for (const ksim::Request& request : journal) chars += exchange_chars(request);
        const double char_time = double(BITS_PER_CHAR) / baud;
        const double silence = baud > 19200 ? 0.00175 : 3.5 * char_time;
        const double limit = double(chars) * char_time + 2.0 * double(journal.size()) * silence;
        std::printf("%8d %9zu %11zu %10.2f %10.2f %6.2fx\n", baud, journal.size(), chars, seconds,
                    limit, seconds / limit);
    }
    return 0;
} catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_rtu: %s\n", failure.what());
    return 1;
}
