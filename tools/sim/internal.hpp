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

// The time stamp of a record recorded at the true instant `utc` on a meter whose clock is `wall`
// (meter.cpp).
std::uint32_t wall_stamp(const WallClock& wall, std::int64_t utc);

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

// One meter's content: its registers, its log files and the state of its windows. The simulator
// serves one (the default content) or, as a gateway, one per unit id. Guarded by Impl::mu.
struct MeterContent {
    explicit MeterContent(Model m) : model(m) {}

    Model model;
    RegisterSpace regs;
    std::map<int, LogState> logs;
    int current_file = -1;
    std::uint8_t info_read_exception =
        0;  // refusal of the File Info data read after the last request
    std::size_t block_data_len = 0;

    // Normal request execution (server.cpp). Returns the reply PDU.
    std::vector<std::uint8_t> execute(const Request& r);
    // Meter windows (windows.cpp).
    std::uint8_t window_write(std::uint16_t address, std::uint8_t fc,
                              const std::vector<std::uint16_t>& values);
    std::uint8_t window_read_check(std::uint32_t address, std::uint32_t count) const;
    void file_info(const std::vector<std::uint16_t>& req, std::uint8_t& refuse_write);
    void next_block(int file_id);
    std::vector<std::uint16_t> log_record(const LogState& st, std::uint64_t index) const;
    void set_log(int file_id, LogFile file);  // replaces the file and resets its cursor
    // Changes the file (created when absent), its cursor kept on the same record.
    void update_log(int file_id, const std::function<void(LogFile&)>& change);
    std::size_t log_cursor(int file_id) const;
    // Meter content (meter.cpp).
    void load(const Meter& meter);  // throws std::invalid_argument for another model
    void put_point(std::uint16_t pid, std::int32_t raw);
    std::optional<std::int32_t> point(std::uint16_t pid) const;
    void set_energy_unit(int entry, std::optional<std::uint16_t> code);
    void set_energy_units(const std::vector<std::uint16_t>& codes);
    void set_family_present(std::uint16_t base_pid, bool present);
};

// What the connection thread does after a request was processed under the lock.
struct Outcome {
    enum class Kind { none, send, close } kind = Kind::none;
    Request request;  // as journaled; `answered` is set once the reply is out
    std::optional<std::uint64_t> journal_number;  // its place in the journal since start
    std::vector<std::uint8_t> stale;              // late reply: sent first
    std::vector<std::uint8_t> bytes;              // the reply
    std::chrono::milliseconds latency{0};         // the link's delay, spent holding the bus
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
    explicit Impl(Model m) : content(m) {}

    // ---- content (guarded by mu)
    mutable std::mutex mu;
    mutable std::condition_variable cv;          // journal growth, connection changes, stop
    MeterContent content;                        // served when no unit was added
    std::map<std::uint8_t, MeterContent> units;  // the meters behind a gateway
    std::vector<FaultState> faults;
    std::vector<Request> journal;
    std::uint64_t journaled = 0;  // requests journaled since start (clear_journal keeps counting)
    std::optional<std::uint8_t> only_unit;
    bool unit_exception11 = false;
    std::size_t accepted = 0;
    std::size_t open = 0;
    std::size_t open_peak = 0;
    bool journal_enabled = true;
    std::size_t requests = 0;
    std::shared_ptr<const std::function<void(const Request&)>> observer;

    // ---- gateway pacing (guarded by mu)
    std::chrono::milliseconds latency{0};
    std::chrono::milliseconds min_gap{0};
    std::size_t max_connections = 0;  // 0: unlimited
    std::optional<std::chrono::steady_clock::time_point> last_reply;

    // ---- server
    std::atomic<bool> stopping{false};
    bool is_running = false;
    std::uint16_t bound_port = 0;
    int listen_fd = -1;
    int wake[2] = {-1, -1};
    std::thread acceptor;
    std::mutex conn_mu;
    std::list<Connection> conns;
    // The bus: one request at a time across all connections, from execution to reply. Taken
    // before mu, never while holding it.
    std::mutex bus_mu;

    void accept_loop();
    // Connections whose peer has not hung up (conn_mu held): a client that closed one connection
    // and opened the next does not count twice while its old thread has not noticed yet.
    std::size_t live_connections() const;
    void serve(Connection* c, std::uint64_t number);
    // Executes one request on the bus and delivers its reply; false when the connection ends.
    bool answer(int fd, std::uint64_t number, const std::uint8_t* mbap,
                const std::vector<std::uint8_t>& pdu,
                std::chrono::steady_clock::time_point received);
    // Processes one framed request (7-byte MBAP header + PDU); takes mu.
    Outcome process(std::uint64_t conn, const std::uint8_t* mbap,
                    const std::vector<std::uint8_t>& pdu,
                    std::chrono::steady_clock::time_point received);
    // The reply to the request in `outcome` (mu held): pacing, units, faults, execution.
    void respond(Outcome& outcome, std::uint16_t protocol);
    // The request executed against the meter its unit id reaches (mu held).
    std::vector<std::uint8_t> execute(const Request& request);
    // Sends the last byte of a whole reply (null: none was sent whole), notes the answer in the
    // journal and tells the observer (takes mu). False when the byte could not be sent.
    bool note_answer(int fd, Outcome& outcome, const std::uint8_t* last_byte);
    // The first fault rule that matches the request and is due, its occurrence counted; mu held.
    const Fault* due_fault(const Request& request);
    bool sleep_for(std::chrono::milliseconds d);  // false when stopping
    // The meter behind `unit` (mu held); throws std::invalid_argument when there is none.
    MeterContent& unit_content(std::uint8_t unit);
};

}  // namespace ksim
