// SPDX-License-Identifier: MIT
// One connection to one meter, owned by one operation on one thread: Modbus TCP, or Modbus RTU
// on a serial line or over TCP to a serial device server.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "modbus/receive_buffer.hpp"
#include "modbus/rtu_frame.hpp"

namespace kolvane {

// Where and how patiently to talk to the meter.
struct ConnectionOptions {
    uint16_t port = 502;
    uint8_t unit_id = 1;
    int32_t timeout_ms = 30000;
    // Bound of the whole call in milliseconds; 0 means none.
    int32_t deadline_ms = 0;
    // Least time in milliseconds between the end of one reply (or of the connect) and the next
    // request: a gateway in front of an RS-485 bus answers busy, or nothing, to requests that
    // come too fast. 0 sends each request at once.
    int32_t request_gap_ms = 0;
    // Tries of one request that the gateway or meter answers busy; the pause before each new
    // try grows from the request gap (50 ms at least).
    int32_t tries = 3;
    // Take turns at the gateway with every other kolvane program on this machine, request by
    // request, the request gap included.
    bool machine_turns = false;
    // RTU frames over TCP, as to a serial device server's transparent port. A host that starts
    // with "/" names a serial device, which speaks RTU whatever this says.
    bool rtu = false;
    // The RTU line's speed; 0 when not given (9600). Times the replies and the silences.
    int32_t baud = 0;
    // Serial device only: 0 none, 1 odd, 2 even; -1 when not given (even).
    int32_t parity = -1;
    // Serial device only: 1 or 2; 0 when not given (1).
    int32_t stop_bits = 0;
    // RTU: the adapter hears its own requests and passes them back before each reply.
    bool echo = false;
};

// The connection failed to carry an exchange: no reply came (time limit, peer closed or reset
// the connection). Unlike a Modbus exception or a malformed reply, the meter said nothing.
class TransportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The meter or gateway answered with a Modbus exception.
class ModbusException : public std::runtime_error {
public:
    ModbusException(int code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    int code() const noexcept { return code_; }
    // Illegal function, address or value: the meter has no such register or function. Every
    // other answer (busy, a gateway's exception, a device failure) says nothing of the meter's
    // setup.
    bool says_absent() const noexcept { return code_ >= 1 && code_ <= 3; }

private:
    int code_;
};

// True when `failure` is the meter's answer that it has no such register or function: the one
// failure that a read of an optional setting may take for "not set up".
bool says_absent(const std::exception& failure) noexcept;

class MachineTurns;

class ModbusTcpClient {
public:
    // Throws when an option does not fit the kind of connection the host and options make.
    ModbusTcpClient(std::string host, const ConnectionOptions& options);
    ~ModbusTcpClient();
    ModbusTcpClient(const ModbusTcpClient&) = delete;
    ModbusTcpClient& operator=(const ModbusTcpClient&) = delete;

    void connect();
    // HOST:PORT, or the serial device.
    std::string endpoint() const;
    const std::string& host() const noexcept { return host_; }
    uint8_t unit_id() const noexcept { return unit_id_; }

    // One exchange: sends the PDU to the unit and returns the response PDU. A busy answer is
    // tried again within the deadline; an exception reply is raised as ModbusException.
    std::vector<uint8_t> request(const std::vector<uint8_t>& pdu, uint8_t unit);
    // A negative unit means the client's own unit id; otherwise its low 8 bits are used.
    std::vector<uint16_t> read_holding_registers(uint16_t start, uint16_t quantity, int unit = -1);
    void write_single_register(uint16_t address, uint16_t value);
    void write_multiple_registers(uint16_t start, const std::vector<uint16_t>& values);

private:
    using Clock = std::chrono::steady_clock;

    void close_socket() noexcept;
    void open_serial();
    // One Modbus TCP exchange: the request with its MBAP header, the reply with the same
    // transaction id.
    std::vector<uint8_t> tcp_exchange(const std::vector<uint8_t>& pdu, uint8_t unit);
    // One RTU exchange: after the line's silence the request frame, then its reply, checked.
    std::vector<uint8_t> rtu_exchange(const std::vector<uint8_t>& pdu, uint8_t unit);
    // Reads the RTU reply to `request` until `end`, dropping the adapter's echo.
    std::vector<uint8_t> rtu_reply(const std::vector<uint8_t>& request, Clock::time_point end,
                                   const std::string& timeout_message);
    // Appends what the line brings, waiting until `end` for at least one byte.
    void rtu_read(std::vector<uint8_t>& got, Clock::time_point end,
                  const std::string& timeout_message);
    // Drops every byte received and not read: a late reply must not pass for the next one.
    void discard_input() noexcept;
    [[noreturn]] void serial_failed(int error) const;
    // One transaction, in the gateway's turn when turns are taken; returns the response PDU,
    // an exception reply included.
    std::vector<uint8_t> transact(const std::vector<uint8_t>& frame_pdu, uint8_t unit);
    // The failure of an exception reply after `tries` tries.
    [[noreturn]] void refused(int code, int tries, uint8_t unit, bool write) const;
    // "no reply from HOST:PORT (unit N) within T ms"
    std::string no_reply(uint8_t unit) const;
    // The end of one wait: the time-out from now, or the call's deadline when that comes first.
    Clock::time_point wait_end() const;
    // Waits until the socket is ready for `events` (poll's result, negative on error) or `end`
    // has come; a signal that interrupts the wait does not extend it.
    int wait_ready(short events, Clock::time_point end, const std::string& timeout_message) const;
    // Throws DeadlineExceeded when the call's deadline has passed, else `timeout_message`.
    [[noreturn]] void time_up(const std::string& timeout_message) const;
    // With a request gap: the next request may go out `request_gap_ms_` from now.
    void start_request_gap();
    // Waits until the next request may go out (`from`), or until the call's deadline when that
    // comes first; a signal that interrupts the wait neither extends nor shortens it.
    void wait_until(Clock::time_point from) const;
    void send_all(const uint8_t* data, size_t size);
    // Gives the socket's blocking receives a time-out that ends no later than `end`.
    void arm_receive(Clock::time_point end, const std::string& timeout_message);
    // Receives until the buffer holds at least `size` bytes of the frame being read.
    void fill(size_t size, const std::string& timeout_message);
    // Receives one whole frame; returns its transaction id and fills the PDU.
    uint16_t receive_frame(std::vector<uint8_t>& pdu, const std::string& timeout_message);

    std::string host_;
    uint16_t port_;
    uint8_t unit_id_;
    int32_t timeout_ms_;
    int32_t deadline_ms_;
    int32_t request_gap_ms_;
    int32_t tries_;
    bool machine_turns_;
    bool serial_;  // the host is a serial device
    // With turns taken, the serial port is open during this client's turn only: a port opens in
    // one process at a time, and the other kolvane programs on the machine share the line.
    bool port_per_turn_;
    bool rtu_;  // RTU frames, on the serial device or over TCP
    int32_t baud_;
    int32_t parity_;
    int32_t stop_bits_;
    bool echo_;
    RtuLineTiming line_;
    Clock::time_point line_quiet_from_{};    // RTU: the line's last byte ended then
    std::unique_ptr<MachineTurns> turns_;    // set when turns are taken, from the connect on
    Clock::time_point call_deadline_;        // meaningful when deadline_ms_ > 0
    Clock::time_point next_request_from_{};  // no request of this client goes out before
    uint16_t transaction_id_ = 0;
    int fd_ = -1;
    std::chrono::microseconds armed_receive_{};  // the socket's receive time-out; 0: not set
    ReceiveBuffer received_;                     // of this connection only: emptied when it closes
};

// Reads any range of holding registers in requests of at most 120 registers.
std::vector<uint16_t> read_words(ModbusTcpClient& client, uint16_t start, uint16_t count);

}  // namespace kolvane
