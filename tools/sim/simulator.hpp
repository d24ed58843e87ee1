// SPDX-License-Identifier: MIT
// kolvane meter simulator: a Modbus TCP server on loopback that behaves like an em133 or em235
// meter, also over Modbus RTU (a serial line, or RTU frames over TCP). Independent of the kolvane
// library (standard library + POSIX only). See tools/sim/README.md.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ksim {

enum class Model { em133, em235 };

const char* model_name(Model model);                        // "em133" / "em235"
std::optional<Model> parse_model(const std::string& text);  // "em133", "em235", "pm335"

// ---------------------------------------------------------------- register map of the meters
inline constexpr std::uint16_t IDENTITY_REGISTER = 46080;  // 26 words
inline constexpr std::size_t IDENTITY_WORDS = 26;
inline constexpr std::uint16_t PT_RATIO_EM133 = 2305;
inline constexpr std::uint16_t PT_RATIO_EM235 = 46209;
inline constexpr std::uint16_t HIGH_RESOLUTION_EM133 = 2390;
inline constexpr std::uint16_t ENERGY_DECIMALS_EM133 = 2393;
inline constexpr std::uint16_t ENERGY_DECIMALS_EM235 = 46258;
inline constexpr std::uint16_t ENERGY_SETUP_REGISTER =
    56672;  // entry i at +4*i, unit code at +4*i+1
inline constexpr std::uint16_t FILE_INFO_REQUEST = 64944;
inline constexpr std::uint16_t FILE_INFO_HEADER = 64952;
inline constexpr std::uint16_t FILE_INFO_DATA = 64960;
inline constexpr std::uint16_t TRANSFER_REQUEST = 63120;
inline constexpr std::uint16_t BLOCK_HEADER = 63152;
inline constexpr std::uint16_t BLOCK_DATA = 63160;
inline constexpr std::uint16_t CLOCK_GUARD = 2575;
inline constexpr std::uint16_t CLOCK_BLOCK = 4352;  // 7 words

std::uint16_t pt_ratio_register(Model model);
std::uint16_t energy_decimals_register(Model model);
int energy_register_entries(Model model);  // 12 on em133, 16 on em235

// The 12 readable register families (128 point ids each), two registers per point,
// low word first.
struct Family {
    std::uint16_t base_pid;
    std::uint16_t em133_register;
    std::uint16_t em235_register;
};
extern const std::array<Family, 12> FAMILIES;
// First register of point `pid` on `model`, or nullopt when the point lies in no family.
std::optional<std::uint16_t> point_register(Model model, std::uint16_t pid);

// ---------------------------------------------------------------- identity block
struct Identity {
    std::uint32_t serial = 0;
    std::uint32_t model_id = 0;
    std::string model_name;  // up to 16 bytes, two per word, high byte first, padded with NUL bytes
    std::uint32_t options = 0;
    std::uint16_t firmware_version = 0;
    std::uint16_t firmware_build = 0;
    std::uint16_t bootloader_version = 0;
    std::uint16_t bootloader_build = 0;
    std::array<std::uint16_t, IDENTITY_WORDS> words() const;  // the 26 registers at 46080
};

// ---------------------------------------------------------------- journal
// One request as received, in arrival order (also requests that were answered with an exception,
// faulted, or not answered at all).
struct Request {
    // 1 for the first connection accepted (Modbus TCP or RTU over TCP), 2 for the next, ...;
    // 0 for the RTU serial line.
    std::uint64_t connection = 0;
    std::uint16_t transaction_id = 0;  // 0 on RTU
    std::uint8_t unit = 0;
    std::uint8_t function = 0;
    std::uint16_t address = 0;          // 0 when the PDU is too short to carry one
    std::uint16_t quantity = 0;         // FC3/FC16: the quantity field; FC6: 1
    std::vector<std::uint16_t> values;  // FC6: the one value; FC16: the values written
    std::vector<std::uint8_t> pdu;      // the request PDU as received (function code first)
    std::chrono::steady_clock::time_point received;  // when its last byte was read
    // When the reply's last byte was sent; left default when no complete reply was sent.
    std::chrono::steady_clock::time_point answered{};
    // The exception code the simulator answered (6: the gateway was busy, 11: no meter at that
    // unit, or a fault's or the meter's own refusal); 0 for a normal reply or a fault's raw bytes.
    std::uint8_t exception = 0;
    // RTU: the frame's CRC did not match (neither executed nor answered; `pdu` as received).
    bool bad_crc = false;
};

// ---------------------------------------------------------------- fault injection
// A rule: a matcher (function code(s), register range, unit, which occurrences) and an action.
// Rules are tried in the order added; the first rule that matches and is due acts; a matching
// rule that is not due (before its nth occurrence, or used up) lets the request go on to the next
// rule / normal handling. Occurrences are counted per rule over all connections.
// Actions that replace the reply (exception, no_reply, close, raw, pdu) do NOT execute the request
// (a refused write is not stored); actions that shape the delivery of the real reply
// (delay, close_after_bytes, reply_then_close, late_reply, trickle, bad_crc) execute it normally
// first.
class Fault {
public:
    enum class Kind {
        exception,
        delay,
        no_reply,
        close,
        close_after_bytes,
        raw,
        pdu,
        late_reply,
        trickle,
        bad_crc
    };

    // ---- actions
    static Fault exception(std::uint8_t code);        // exception reply with this code (1..255)
    static Fault delay(std::chrono::milliseconds d);  // real reply after d
    static Fault no_reply();  // read it, answer nothing, keep the connection
    static Fault close();     // close the connection, nothing sent
    static Fault close_after_bytes(
        std::size_t n);                       // send the first n bytes of the real reply, close
                                              // (3: inside MBAP, 7: after MBAP, 8+: inside PDU)
    static Fault reply_then_close();          // send the whole real reply, then close
    static Fault close_after_replies(int n);  // = reply_then_close().nth(n)
    static Fault raw(
        std::vector<std::uint8_t> bytes);  // send exactly these bytes instead of the reply
    // MBAP header (request's transaction id, protocol 0, length = pdu.size()+1 or length_override,
    // request's unit) followed by `pdu`, instead of the reply.
    static Fault pdu(std::vector<std::uint8_t> pdu, int length_override = -1);
    // First a complete stale frame with transaction id (request's id + tid_delta); for a read reply
    // its values are `fill` when given, else the bitwise complement of the real values; then the
    // real reply.
    static Fault late_reply(int tid_delta = -1, std::optional<std::uint16_t> fill = std::nullopt);
    static Fault trickle(std::chrono::milliseconds pause);  // real reply one byte at a time
    // RTU only (Modbus TCP sends the real reply): the real reply with its two CRC bytes inverted.
    static Fault bad_crc();

    // ---- matchers (chainable); defaults: any function, any address, any unit, every occurrence
    Fault& function(int fc);  // one function code
    Fault& reads(std::uint16_t first,
                 int last = -1);  // FC3 touching [first, last] (last -1: = first)
    Fault& writes(std::uint16_t first, int last = -1);  // FC6 or FC16 touching [first, last]
    Fault& range(std::uint16_t first, int last = -1);   // any function touching [first, last]
    Fault& unit(int unit);                              // only this unit id
    Fault& nth(int n);                                  // only the nth matching request (1-based)
    Fault& skip(int n);                                 // let the first n matching requests pass
    Fault& times(int k);                                // act on k matching requests, then pass

    // ---- data (public for inspection)
    Kind kind = Kind::exception;
    std::uint8_t code = 0;
    std::chrono::milliseconds duration{0};
    std::size_t byte_count = 0;
    std::vector<std::uint8_t> bytes;
    int length_override = -1;
    int tid_delta = -1;
    std::optional<std::uint16_t> fill;
    std::vector<int> functions;  // empty: any
    std::uint32_t first = 0, last = 0xFFFF;
    int unit_id = -1;
    int skip_count = 0;
    int times_count = -1;  // -1: unlimited
};

// ---------------------------------------------------------------- log files
// A scripted log file (file 0 = event log, 1..16 data logs) served through the File Info window and
// the transfer window.
struct LogFile {
    std::vector<std::vector<std::uint16_t>>
        records;  // complete records (word 0 status, word 1 seq, ...)
    int records_per_block = 10;

    // File Info variant 0
    std::optional<std::uint16_t>
        info_records;               // default: records.size() (65535 for an endless file)
    std::uint16_t start_index = 0;  // word 12; a seek to v puts the cursor at v - start_index
    std::optional<std::uint16_t> read_index;  // word 10; default start_index + cursor
    // File Info variant 2: layout A (word 1 = count, ids from word 2) from `columns`, unless
    // `info_var2_words` gives the 18 reply words directly.
    std::vector<std::uint16_t> columns;
    std::optional<std::array<std::uint16_t, 18>> info_var2_words;
    // Refusing File Info: code 0 = answer. on_write: the exception comes on the request write
    // (FC16 at 64944), else on the read of the reply data at 64960.
    struct Refusal {
        std::uint8_t code = 0;
        bool on_write = false;
    };
    Refusal var0_refusal, var2_refusal;

    // Transfer modes
    bool reserve_forever = false;  // acknowledge never advances: the same block again and again
    std::optional<std::size_t> empty_at;  // when the cursor is at this record index ...
    int empty_count = 0;                  // ... the next empty_count block requests get 0 records
    bool endless = false;  // records generated forever (the `records` list is ignored)
    std::uint16_t endless_first_seq =
        1;  // sequence numbers first_seq, first_seq+1, ... wrapping at 65536
    std::optional<std::uint16_t> header_records;  // block header word 4 override
    std::optional<std::uint16_t> header_words;    // block header word 5 override
    // Added (modulo 65536) to the index a seek request names: a meter whose index is not a
    // record position, so a seek lands that many records further on.
    std::uint16_t seek_index_offset = 0;
};

// Data log record: status, seq, seconds (2 words), microseconds (2 words), trigger, 0, then two
// words (low first) per column value.
std::vector<std::uint16_t> datalog_record(std::uint16_t status, std::uint16_t seq,
                                          std::uint32_t seconds, std::uint32_t micros,
                                          std::uint16_t trigger,
                                          const std::vector<std::int32_t>& values);
// Event log record (12 words): status, seq, seconds, microseconds, event no, source id, effect id,
// 0, value (low first).
std::vector<std::uint16_t> event_record(std::uint16_t status, std::uint16_t seq,
                                        std::uint32_t seconds, std::uint32_t micros,
                                        std::uint16_t event_no, std::uint16_t source_id,
                                        std::uint16_t effect_id, std::int32_t value);

// A meter's clock: the seconds its clock shows (and writes into a record's time stamp) at a true
// UTC instant. Site engineers set meters to local wall time, so across a change to summer time
// the stamps jump an hour ahead, and across the change back an hour of stamps comes twice.
using WallClock = std::function<std::int64_t(std::int64_t utc_seconds)>;

// Appends `count` records to `log`, each a copy of the last one with the next sequence number
// and a time `step_seconds` later: a log that went on recording. Does nothing to an empty log.
void append_next_records(LogFile& log, int count, std::uint32_t step_seconds = 900);
// The same on a meter whose clock is `wall`: the appended records were recorded at the true
// instants first_utc, first_utc + step_seconds, ... and stamped wall(instant) (the instant itself
// when `wall` is empty). A stamp cannot tell its true instant, so the caller names the first.
void append_next_records(LogFile& log, int count, std::int64_t first_utc, const WallClock& wall,
                         std::uint32_t step_seconds = 900);

// Makes `log` a circular log that holds at most `keep` records: the oldest beyond that are
// overwritten. The records left keep their sequence numbers and their seek indexes (start_index
// advances by the number dropped, modulo 65536); an `info_records` override is cut to the records
// left. Simulator::update_log keeps a transfer in progress on the same record. Does nothing to an
// endless log.
void wrap_log(LogFile& log, std::size_t keep);

// ---------------------------------------------------------------- meter description
// A complete description of a meter's content, applied with Simulator::load(). Absent optionals
// leave the registers unknown (exception 2 on read).
struct Meter {
    Model model = Model::em133;
    std::optional<Identity> identity;
    std::optional<std::uint16_t> pt_ratio;
    std::optional<std::uint16_t> high_resolution;  // em133 only
    std::optional<std::uint16_t> energy_decimals;
    std::vector<std::uint16_t> energy_units;       // unit codes of entries 0..n-1; the rest absent
    std::vector<std::uint16_t> present_families;   // base pids made present with zeros
    std::map<std::uint16_t, std::int32_t> points;  // point id -> raw value
    std::map<std::uint16_t, std::uint16_t> registers;  // any other plain registers
    std::map<int, LogFile> logs;                       // file id -> log file
    // Points fixed by a meter description file: kolvane-sim re-applies them after each live update.
    std::map<std::uint16_t, std::int32_t> point_overrides;
};

// A power outage from the true instant `down_utc` to `up_utc` on a meter whose clock is `wall`
// (empty: UTC): its data logs hold no records stamped in that span, and its event log holds a
// power down and a power up event at the two instants, in time order. As on a meter, sequence
// numbers (and event numbers) run on without a gap from each log's first record's.
void add_power_outage(Meter& meter, std::int64_t down_utc, std::int64_t up_utc,
                      const WallClock& wall = {});

// The realistic meter of kolvane-sim: identity, scaling, all families with live values, data logs
// 1..3 of `records` records at 15-minute intervals ending at `now`, an event log of a few hundred
// events. With `wall`, every record is stamped with the meter's wall time of the instant it was
// recorded (the records stay 15 minutes apart in true time); without, with the instant itself.
Meter default_meter(Model model, int records = 2880,
                    std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)),
                    int events = 300, const WallClock& wall = {});
// The true instant of the default meter's newest data log record: the quarter hour at `now` or
// before.
inline std::int64_t newest_record_time(std::int64_t now) { return now - now % 900; }
// Applies a meter description file (format in README.md) onto `meter`. The `model`, `records` and
// `events` keys rebuild the default meter first, as default_meter(..., now, ..., wall) builds it.
// Returns false and sets `error` on a bad file.
bool load_meter_file(const std::string& path, Meter& meter, std::string& error,
                     std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)),
                     const WallClock& wall = {});

// ---------------------------------------------------------------- Modbus RTU line
// A serial line's speed and character format: a start bit, 8 data bits, a parity bit (none with
// 'N') and the stop bits; 11 bits per character with the default 8E1.
struct RtuLine {
    int baud = 9600;    // 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400
    char parity = 'E';  // 'N', 'E' or 'O'
    int stop_bits = 1;  // 1 or 2
    // Every request's bytes come back before anything else, as from an RS-485 adapter without
    // echo suppression (also a request that gets no reply).
    bool echo = false;
};
std::string rtu_line_text(const RtuLine& line);  // "9600 8E1"

// ---------------------------------------------------------------- the simulator
class Simulator {
public:
    explicit Simulator(Model model = Model::em133);  // empty register space
    explicit Simulator(const Meter& meter);          // = Simulator(meter.model) + load(meter)
    ~Simulator();                                    // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // ---- server
    // Binds `address` (default loopback; an IPv4 or IPv6 literal such as ::1) on `port` (0: the
    // kernel picks) and starts serving; returns the bound port. Throws std::runtime_error on
    // failure or when already running.
    std::uint16_t start(std::uint16_t port = 0, const std::string& address = "127.0.0.1");
    // closes the listeners, every connection and the serial line, joins every thread; idempotent
    void stop();
    bool running() const;
    std::uint16_t port() const;
    Model model() const;
    // ---- Modbus RTU: the same meters, bus, fault rules and journal behind a serial line. The
    // line's speed is simulated: a request is taken no sooner than its bytes could have crossed
    // the line, the reply begins after the silence between frames and its bytes come at the pace
    // of the line. Unit 0 is a broadcast: writes are executed on every meter, nothing is answered.
    // A unit the simulator does not serve (answer_only_unit, add_unit) is silent, as is a frame
    // with a bad CRC (journaled with bad_crc). Both throw std::runtime_error on failure or when
    // already serving that kind, std::invalid_argument for a bad line.
    // RTU frames over TCP (no MBAP header), as a serial device server's transparent mode: binds
    // `address` on `port` (0: the kernel picks); returns the bound port.
    std::uint16_t start_rtu_tcp(std::uint16_t port = 0, const std::string& address = "127.0.0.1",
                                const RtuLine& line = {});
    // Opens the serial device `device` (e.g. one end of a pseudo-terminal pair), sets it raw
    // with the line's speed and format, and serves it; requests journaled with connection 0.
    void start_rtu_serial(const std::string& device, const RtuLine& line = {});
    std::uint16_t rtu_tcp_port() const;

    // Answer only this unit id (nullopt: answer every unit, the default). Requests to other units
    // are journaled and get no reply, or exception 11 when `exception11` is true.
    void answer_only_unit(std::optional<std::uint8_t> unit, bool exception11 = false);

    // ---- gateway: several meters behind this port, told apart by unit id
    // Puts a distinct meter (its own registers, identity, points, logs and window state) at
    // `unit`, replacing the one there. Once a unit is added the simulator is a gateway: requests to
    // an added unit are executed against its meter, requests to any other unit are journaled and
    // answered with exception 11 (target device failed to respond). Fault rules and the journal
    // stay shared. The content calls below (set_register, set_log, ...) keep acting on the default
    // content, which a gateway no longer serves.
    void add_unit(std::uint8_t unit, const Meter& meter);
    std::vector<std::uint8_t> units() const;  // in increasing order
    // The model of the meter at `unit`, nullopt when there is none. The unit calls below throw
    // std::invalid_argument for a unit that was not added.
    std::optional<Model> unit_model(std::uint8_t unit) const;
    void update_unit_log(std::uint8_t unit, int file_id,
                         const std::function<void(LogFile&)>& change);  // as update_log
    std::size_t unit_log_cursor(std::uint8_t unit, int file_id) const;
    void set_unit_points(std::uint8_t unit, const std::map<std::uint16_t, std::int32_t>& points);
    std::optional<std::int32_t> unit_point(std::uint8_t unit, std::uint16_t pid) const;
    std::optional<std::uint16_t> unit_register(std::uint8_t unit, std::uint16_t address) const;

    // ---- link and bus pacing. Requests are executed one at a time across all connections, as on
    // a bus: from execution until the reply is sent (latency included) no other request runs.
    // A fault's own delay or trickle does not hold the bus.
    void set_latency(std::chrono::milliseconds latency);  // every reply is delayed by this
    // A connection beyond n open ones is accepted and closed at once, unread (0: unlimited, the
    // default). It still counts in connections_accepted().
    void set_max_connections(std::size_t n);
    // A request that arrives sooner than `gap` after the previous reply was sent (on any
    // connection) is journaled and answered with exception 6 (busy), not executed. 0: off.
    void set_min_gap(std::chrono::milliseconds gap);
    // Called after each request was answered (or left unanswered), from the connection's thread,
    // outside the simulator's lock, also when the journal is off. Set it before start().
    void set_request_observer(std::function<void(const Request&)> observer);

    // ---- content
    void load(const Meter& meter);  // applies the description on top of the present content
    void set_register(std::uint16_t address, std::uint16_t value);
    void set_registers(std::uint16_t address, const std::vector<std::uint16_t>& values);
    void erase_registers(std::uint16_t address, std::size_t count = 1);  // make unknown
    void clear_registers();                                              // every register unknown
    std::optional<std::uint16_t> get_register(std::uint16_t address) const;

    void set_identity(const Identity& identity);
    void clear_identity();
    void set_pt_ratio(std::optional<std::uint16_t> value);         // 2305 / 46209
    void set_high_resolution(std::optional<std::uint16_t> value);  // 2390 (em133; ignored on em235)
    void set_energy_decimals(std::optional<std::uint16_t> value);  // 2393 / 46258
    void set_energy_unit(int entry,
                         std::optional<std::uint16_t> code);  // entry 0..15; nullopt: absent
    void set_energy_units(
        const std::vector<std::uint16_t>& codes);  // entries 0..n-1; others absent

    void set_point(std::uint16_t pid,
                   std::int32_t raw);  // throws std::invalid_argument outside families
    void set_points(const std::map<std::uint16_t, std::int32_t>& points);
    std::optional<std::int32_t> point(std::uint16_t pid) const;
    void set_family_present(std::uint16_t base_pid, bool present);  // present: 128 points of 0
    void set_all_families_present(bool present);

    // ---- logs
    void set_log(int file_id, LogFile file);  // replaces the file and resets its cursor
    void remove_log(int file_id);  // File Info of an absent file: exception 2 on the data read
    // Changes a file and keeps its cursor on the same record: when the change advances the start
    // index (wrap_log), the cursor moves back with it, to the oldest record left at most.
    void update_log(int file_id, const std::function<void(LogFile&)>& change);
    std::size_t log_cursor(int file_id) const;  // index of the next record to serve
    void set_log_cursor(int file_id, std::size_t cursor);

    // ---- faults
    void add_fault(const Fault& fault);
    void clear_faults();
    int fault_hits(
        std::size_t index) const;  // how often rule `index` (0-based, in adding order) acted

    // ---- journal
    std::vector<Request> journal() const;
    std::size_t journal_size() const;
    void clear_journal();
    // Waits until at least n requests are journaled (counting since the last clear_journal()).
    bool wait_for_requests(std::size_t n,
                           std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    std::size_t connections_accepted() const;
    std::size_t open_connections() const;
    std::size_t max_open_connections() const;  // the most open at the same time since start
    bool wait_for_connections(std::size_t n,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Journaling is on by default; long-running servers (kolvane-sim, benchmarks) may switch it
    // off.
    void set_journal_enabled(bool enabled);
    std::size_t requests_received() const;  // every request since start-up, journaled or not
    // Waits until no connection is open (e.g. the client under test closed its socket).
    bool wait_until_idle(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Live values of the default meter at time `t` (seconds since the epoch, fractional): voltages near
// 230 V, currents, powers agreeing with V x I x PF, frequency 50 Hz, energies that grow with t.
// Used by kolvane-sim once a second; `start` is the time the energies were last set to their base
// values. Points in `overrides` are written after the live values (they stay fixed).
void update_live_values(Simulator& sim, double t, double start,
                        const std::map<std::uint16_t, std::int32_t>& overrides = {});
// The same for the meter at `unit` of a gateway.
void update_live_values(Simulator& sim, std::uint8_t unit, double t, double start,
                        const std::map<std::uint16_t, std::int32_t>& overrides = {});

// "127.0.0.1:502" or, for an IPv6 address, "[::1]:502".
std::string endpoint_text(const std::string& address, std::uint16_t port);

}  // namespace ksim
