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

// The request as the journal keeps it, decoded from its PDU (server.cpp).
Request decode_request(std::uint64_t connection, std::uint16_t transaction_id, std::uint8_t unit,
                       const std::vector<std::uint8_t>& pdu,
                       std::chrono::steady_clock::time_point received);

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

// How requests and replies are framed: Modbus TCP (MBAP header) or RTU (address, PDU, CRC).
enum class Wire { mbap, rtu };

// Where a connection's replies go and how fast: a TCP socket sends at once, an RTU line paces each
// character.
struct Link {
    int fd = -1;
    Wire wire = Wire::mbap;
    bool socket = true;                     // else a serial device (written with write())
    std::chrono::nanoseconds char_time{0};  // one character on the line; 0: no line to pace
    std::chrono::nanoseconds frame_gap{0};  // the silence before a reply
    bool echo = false;                      // every request's bytes are sent back first
};

struct Connection {
    Link link;
    std::thread thread;
    bool done = false;
};

// A listening socket and the connections it accepts are framed alike.
struct Listener {
    int fd = -1;
    std::uint16_t port = 0;
    Link link;  // the template of its connections' links
    std::thread thread;
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
    bool is_running = false;  // something is served: the wake pipe is open
    int wake[2] = {-1, -1};   // readable once stop() began: every blocking wait watches it
    std::optional<Listener> mbap, rtu_tcp;
    std::optional<Link> serial;  // the RTU serial line
    std::thread serial_thread;
    std::mutex conn_mu;
    std::list<Connection> conns;
    // The bus: one request at a time across all connections, from execution to reply. Taken
    // before mu, never while holding it.
    std::mutex bus_mu;

    // Opens the wake pipe when nothing is served yet.
    void begin_serving();
    // Binds and listens; a thread accepts connections framed as `link` says.
    Listener& listen(std::optional<Listener>& slot, std::uint16_t port, const std::string& address,
                     const Link& link);
    void accept_loop(Listener& listener);
    // Connections whose peer has not hung up (conn_mu held): a client that closed one connection
    // and opened the next does not count twice while its old thread has not noticed yet.
    std::size_t live_connections() const;
    void serve(Connection* c, std::uint64_t number);
    void serve_mbap(const Link& link, std::uint64_t number);
    // Reads RTU request frames from a serial line or an RTU-over-TCP connection until it ends or
    // stop() (rtu.cpp).
    void serve_rtu(const Link& link, std::uint64_t number);
    // Executes one request on the bus and delivers its reply; false when the connection ends.
    // `protocol`: the MBAP protocol id to echo.
    bool answer(const Link& link, Request request, std::uint16_t protocol);
    // Processes one decoded request; takes mu.
    Outcome process(Request request, Wire wire, std::uint16_t protocol);
    // The reply to the request in `outcome` (mu held): pacing, units, faults, execution.
    void respond(Outcome& outcome, Wire wire, std::uint16_t protocol);
    // RTU: false when the request gets no reply at all (bad CRC, broadcast, a unit not served);
    // a broadcast write is executed on every meter (mu held).
    bool rtu_heard(const Request& request);
    // The request executed against the meter its unit id reaches (mu held).
    std::vector<std::uint8_t> execute(const Request& request);
    // Sends the last byte of a whole reply (null: none was sent whole), notes the answer in the
    // journal and tells the observer (takes mu). False when the byte could not be sent.
    bool note_answer(const Link& link, Outcome& outcome, const std::uint8_t* last_byte);
    // Writes the bytes (false on error or stop), at the line's pace when it has one.
    bool send_paced(const Link& link, const std::uint8_t* bytes, std::size_t n);
    bool send_all(const Link& link, const std::uint8_t* bytes, std::size_t n);
    // The first fault rule that matches the request and is due, its occurrence counted; mu held.
    const Fault* due_fault(const Request& request);
    bool sleep_for(std::chrono::nanoseconds d);  // false when stopping
    bool sleep_until(std::chrono::steady_clock::time_point t);
    // The meter behind `unit` (mu held); throws std::invalid_argument when there is none.
    MeterContent& unit_content(std::uint8_t unit);
};

}  // namespace ksim
