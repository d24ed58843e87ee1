// SPDX-License-Identifier: MIT
// Internal state of the simulator, shared by the files of tools/sim (not installed, not for tests).
#pragma once

#include "simulator.hpp"

#include <atomic>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace ksim {

// Sparse 16-bit register space: a register is either unknown or holds a value.
class RegisterSpace {
public:
    RegisterSpace() : values_(65536, 0), present_(65536, 0) {}
    void set(std::uint16_t a, std::uint16_t v) {
        values_[a] = v;
        present_[a] = 1;
    }
    void set(std::uint16_t a, const std::vector<std::uint16_t>& v);  // truncated at 65535
    void erase(std::uint16_t a, std::size_t n = 1);
    void clear();
    bool has(std::uint16_t a) const { return present_[a] != 0; }
    std::uint16_t get(std::uint16_t a) const { return values_[a]; }
    // True when all of [a, a+n) exist (and a+n <= 65536).
    bool has_all(std::uint32_t a, std::uint32_t n) const;

private:
    std::vector<std::uint16_t> values_;
    std::vector<std::uint8_t> present_;
};

// True when the request satisfies the rule's function/range/unit filter (faults.cpp).
bool fault_filter(const Fault& f, const Request& r);

struct FaultState {
    Fault fault;
    int seen = 0;   // matching requests so far
    int fired = 0;  // times it acted
};

struct LogState {
    LogFile file;
    std::uint64_t cursor = 0;  // index of the next record to serve
    std::size_t pending = 0;   // records served by the last block, advanced by acknowledge
    int empty_served = 0;
};

// What the connection thread does after a request was processed under the lock.
struct Outcome {
    enum class Kind { none, send, close } kind = Kind::none;
    std::vector<std::uint8_t> stale;  // late reply: sent first
    std::vector<std::uint8_t> bytes;  // the reply
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds trickle{0};
    bool trickled = false;
    std::size_t limit = static_cast<std::size_t>(-1);  // send at most this many bytes of `bytes`
    bool close_after = false;
};

struct Connection {
    int fd = -1;
    std::thread thread;
    bool done = false;
};

struct Simulator::Impl {
    explicit Impl(Model m) : model(m) {}

    // ---- content (guarded by mu)
    mutable std::mutex mu;
    mutable std::condition_variable cv;  // journal growth, connection changes, stop
    Model model;
    RegisterSpace regs;
    std::vector<FaultState> faults;
    std::vector<Request> journal;
    std::map<int, LogState> logs;
    int current_file = -1;
    std::uint8_t info_read_exception =
        0;  // refusal of the File Info data read after the last request
    std::size_t block_data_len = 0;
    std::optional<std::uint8_t> only_unit;
    bool unit_exception11 = false;
    std::size_t accepted = 0;
    std::size_t open = 0;
    bool journal_enabled = true;
    std::size_t requests = 0;

    // ---- server
    std::atomic<bool> stopping{false};
    bool is_running = false;
    std::uint16_t bound_port = 0;
    int listen_fd = -1;
    int wake[2] = {-1, -1};
    std::thread acceptor;
    std::mutex conn_mu;
    std::list<Connection> conns;

    void accept_loop();
    void serve(Connection* c, std::uint64_t number);
    // Processes one framed request (7-byte MBAP header + PDU); called without the lock held.
    Outcome process(std::uint64_t conn, const std::uint8_t* mbap,
                    const std::vector<std::uint8_t>& pdu);
    // The first fault rule that matches the request and is due, its occurrence counted; mu held.
    const Fault* due_fault(const Request& request);
    bool sleep_for(std::chrono::milliseconds d);  // false when stopping

    // ---- normal request execution (mu held). Returns the reply PDU.
    std::vector<std::uint8_t> execute(const Request& r);
    // Meter windows (windows.cpp), mu held.
    std::uint8_t window_write(std::uint16_t address, std::uint8_t fc,
                              const std::vector<std::uint16_t>& values);
    std::uint8_t window_read_check(std::uint32_t address, std::uint32_t count) const;
    void file_info(const std::vector<std::uint16_t>& req, std::uint8_t& refuse_write);
    void next_block(int file_id);
    std::vector<std::uint16_t> log_record(const LogState& st, std::uint64_t index) const;
    // Meter content helpers (meter.cpp), mu held.
    void put_point(std::uint16_t pid, std::int32_t raw);
};

}  // namespace ksim
