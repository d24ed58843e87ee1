// SPDX-License-Identifier: MIT
#include "modbus/client.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "ground/interruptions.hpp"
#include "ground/log.hpp"
#include "modbus/machine_turns.hpp"
#include "modbus/serial_port.hpp"

namespace kolvane {
namespace {

constexpr size_t MBAP_SIZE = 7;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

uint16_t be16(const uint8_t* bytes) { return uint16_t((bytes[0] << 8) | bytes[1]); }

void put_be16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value & 0xFF));
}

// Milliseconds left until `end`, rounded up so that a wait never ends just short of it.
int millis_until(std::chrono::steady_clock::time_point end) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= left.zero()) return 0;
    return int(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

template <class Address>
socklen_t store(const Address& address, sockaddr_storage& storage) {
    std::memcpy(&storage, &address, sizeof address);
    return sizeof address;
}

// The socket address of `host` and its size: an IPv4 or IPv6 literal as written, a name by its
// first IPv4 address.
socklen_t socket_address(const std::string& host, uint16_t port, sockaddr_storage& storage) {
    struct sockaddr_in6 v6 {};
    if (::inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        return store(v6, storage);
    }
    struct sockaddr_in v4 {};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &v4.sin_addr) != 1) {
        struct addrinfo hints {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        struct addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            if (found != nullptr) ::freeaddrinfo(found);
            fail("Cannot resolve host: " + host);
        }
        v4.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    return store(v4, storage);
}

constexpr int DEFAULT_BAUD = 9600;
constexpr int EVEN_PARITY = 2;

// The line options that the kind of connection has no use for are mistakes, not defaults.
void check_line_options(bool serial, const ConnectionOptions& options) {
    const bool rtu = serial || options.rtu;
    if (!rtu && options.baud != 0) fail("options.baud needs RTU: a serial device or \"rtu\":1");
    if (!serial && options.parity >= 0) fail("options.parity needs a serial device");
    if (!serial && options.stop_bits != 0) fail("options.stop_bits needs a serial device");
    if (!rtu && options.echo) fail("options.echo needs RTU: a serial device or \"rtu\":1");
}

}  // namespace

ModbusTcpClient::ModbusTcpClient(std::string host, const ConnectionOptions& options)
    : host_(std::move(host)),
      port_(options.port),
      unit_id_(options.unit_id),
      timeout_ms_(options.timeout_ms),
      deadline_ms_(options.deadline_ms),
      request_gap_ms_(options.request_gap_ms),
      tries_(options.tries < 1 ? 1 : options.tries),
      machine_turns_(options.machine_turns),
      serial_(!host_.empty() && host_[0] == '/'),
      port_per_turn_(serial_ && options.machine_turns),
      rtu_(serial_ || options.rtu),
      baud_(options.baud != 0 ? options.baud : DEFAULT_BAUD),
      parity_(options.parity >= 0 ? options.parity : EVEN_PARITY),
      stop_bits_(options.stop_bits != 0 ? options.stop_bits : 1),
      echo_(options.echo),
      line_(RtuLineTiming::of(baud_, parity_, stop_bits_)),
      call_deadline_(Clock::now() + std::chrono::milliseconds(options.deadline_ms)) {
    check_line_options(serial_, options);
}

ModbusTcpClient::~ModbusTcpClient() { close_socket(); }

void ModbusTcpClient::close_socket() noexcept {
    if (serial_) {
        close_serial_port(fd_);
    } else if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = -1;
    armed_receive_ = {};
    received_.clear();
}

ModbusTcpClient::Clock::time_point ModbusTcpClient::wait_end() const {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms_);
    return deadline_ms_ > 0 ? std::min(end, call_deadline_) : end;
}

int ModbusTcpClient::wait_ready(short events, Clock::time_point end,
                                const std::string& timeout_message) const {
    // poll, unlike select, works with descriptors of 1024 and above, which services holding
    // many files reach. The time left is taken afresh after a signal, never the whole limit.
    for (;;) {
        const int left = millis_until(end);
        struct pollfd entry {
            fd_, events, 0
        };
        const int result = left > 0 ? ::poll(&entry, 1, left) : 0;
        if (result < 0 && errno == EINTR) continue;
        if (result != 0) return result;
        if (Clock::now() >= end) time_up(timeout_message);
    }
}

void ModbusTcpClient::time_up(const std::string& timeout_message) const {
    if (deadline_ms_ > 0 && Clock::now() >= call_deadline_) throw DeadlineExceeded(deadline_ms_);
    throw TransportError(timeout_message);
}

void ModbusTcpClient::start_request_gap() {
    if (request_gap_ms_ > 0) {
        next_request_from_ = Clock::now() + std::chrono::milliseconds(request_gap_ms_);
    }
}

void ModbusTcpClient::wait_until(Clock::time_point from) const {
    const Clock::time_point end = deadline_ms_ > 0 ? std::min(from, call_deadline_) : from;
    // poll without descriptors sleeps; after a signal the time left is taken afresh.
    for (int left = millis_until(end); left > 0; left = millis_until(end)) ::poll(nullptr, 0, left);
}

std::string ModbusTcpClient::no_reply(uint8_t unit) const {
    return "no reply from " + endpoint() + " (unit " + std::to_string(unit) + ") within " +
           std::to_string(timeout_ms_) + " ms";
}

// An IPv6 literal is bracketed, so that the port stays apart from the address: "[::1]:502".
// Only such a literal holds a colon; no IPv4 address or host name does.
std::string ModbusTcpClient::endpoint() const {
    if (serial_) return host_;
    const std::string port = ":" + std::to_string(port_);
    return host_.find(':') == std::string::npos ? host_ + port : "[" + host_ + "]" + port;
}

void ModbusTcpClient::open_serial() {
    close_socket();
    if (machine_turns_ && !turns_) turns_ = std::make_unique<MachineTurns>(host_);
    start_request_gap();
    if (port_per_turn_) return;  // opened at each turn, in transact
    fd_ = open_serial_port(host_, baud_, parity_, stop_bits_);
    line_quiet_from_ = Clock::now();
    if (log_enabled()) log_msg(LogLevel::Debug, "Opened serial port " + host_);
}

void ModbusTcpClient::connect() {
    if (serial_) return open_serial();
    struct sockaddr_storage address {};
    const socklen_t address_size = socket_address(host_, port_, address);

    close_socket();
    // Turns are taken at the address connected to, however the host was written.
    if (machine_turns_ && !turns_) turns_ = std::make_unique<MachineTurns>(address, endpoint());
    fd_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) fail("socket() failed");
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);

    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), address_size) != 0) {
        if (errno != EINPROGRESS) {
            close_socket();
            fail("Cannot connect to " + endpoint());
        }
        int ready = 0;
        try {
            ready = wait_ready(POLLOUT, wait_end(), "Timed out connecting to " + endpoint());
        } catch (...) {
            close_socket();
            throw;
        }
        int pending = 0;
        socklen_t length = sizeof pending;
        if (ready < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &length) != 0 ||
            pending != 0) {
            close_socket();
            fail("Cannot connect to " + endpoint());
        }
    }

    // Blocking again once connected: a receive waits in the kernel under the socket's receive
    // time-out (one system call where poll and recv are two); sends say MSG_DONTWAIT and wait
    // in poll only when the socket cannot take the request. RTU reads stay non-blocking: they
    // drain what is pending and wait in poll.
    if (!rtu_) ::fcntl(fd_, F_SETFL, flags);
    line_quiet_from_ = Clock::now();
    start_request_gap();  // the first request, too, leaves the gap after the connect
    if (log_enabled()) log_msg(LogLevel::Debug, "Connected to " + endpoint());
}

// Each wait for the socket has its own time limit, as a blocking call with a socket time-out
// would: a reply that trickles in keeps the exchange alive, one that stalls ends it. The socket
// is tried before any wait, so a send that it can take at once costs one system call.
void ModbusTcpClient::send_all(const uint8_t* data, size_t size) {
    // No request starts once the call's deadline has passed: a write must not reach the meter
    // for a call that then fails.
    if (Clock::now() >= wait_end()) time_up("socket send failed");
    size_t sent = 0;
    for (;;) {
        // MSG_NOSIGNAL: a meter that closed the connection must not kill the host with SIGPIPE.
        const ssize_t n = serial_
                              ? ::write(fd_, data + sent, size - sent)
                              : ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += size_t(n);
            if (sent == size) return;
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            if (serial_) serial_failed(n == 0 ? EIO : errno);
            throw TransportError("socket send failed");
        }
        wait_ready(POLLOUT, wait_end(), "socket send failed");
    }
}

// Sets the socket's receive time-out to what is left until `end`, unless the one set already
// ends within a millisecond after it (as poll's rounding up would): set once per connection as
// a rule, again only near the call's deadline or after a signal cut a wait short.
void ModbusTcpClient::arm_receive(Clock::time_point end, const std::string& timeout_message) {
    const auto left = std::chrono::ceil<std::chrono::microseconds>(end - Clock::now());
    if (left.count() <= 0) time_up(timeout_message);
    const auto slack = std::chrono::milliseconds(1);
    if (armed_receive_.count() > 0 && armed_receive_ <= left + slack) return;
    struct timeval limit {};
    limit.tv_sec = time_t(left.count() / 1000000);
    limit.tv_usec = suseconds_t(left.count() % 1000000);
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) {
        throw TransportError("socket recv failed");
    }
    armed_receive_ = left;
}

// One recv of whatever the socket holds, as often as the frame needs, each waiting at most the
// time-out; bytes of a following frame stay in the buffer. A wait that a signal or the kernel's
// rounding ends early goes on for the time left, never longer.
void ModbusTcpClient::fill(size_t size, const std::string& timeout_message) {
    while (received_.size() < size) {
        const Clock::time_point end = wait_end();
        for (;;) {
            arm_receive(end, timeout_message);
            uint8_t* space = received_.space(size);
            const ssize_t n = ::recv(fd_, space, received_.space_size(), 0);
            if (n > 0) {
                received_.added(size_t(n));
                break;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                throw TransportError("socket recv failed");
            }
        }
    }
}

uint16_t ModbusTcpClient::receive_frame(std::vector<uint8_t>& pdu,
                                        const std::string& timeout_message) {
    fill(MBAP_SIZE, timeout_message);
    const uint16_t id = be16(received_.data());
    const uint16_t length = be16(received_.data() + 4);
    if (length < 2 || length > 260) {
        received_.consume(MBAP_SIZE);  // the header is taken, as when it was read on its own
        fail("Invalid MBAP length: " + std::to_string(length));
    }
    const size_t frame_size = MBAP_SIZE + length - 1u;
    fill(frame_size, timeout_message);
    const uint8_t* frame = received_.data();  // read after fill: the bytes may have moved
    pdu.assign(frame + MBAP_SIZE, frame + frame_size);
    received_.consume(frame_size);
    return id;
}

namespace {

// Answers after which the same request may be sent again: the gateway or meter was busy and did
// not carry it out (6); a read the meter takes long over (5; a write it acknowledged is under
// way, so it is not sent twice); a unit that missed one read behind a gateway (11), once: a
// frame lost on a noisy bus, where a meter that is gone costs one more wait.
int tries_for(int code, bool write, int tries) {
    if (code == 6 || (code == 5 && !write)) return tries;
    if (code == 11 && !write) return std::min(tries, 2);
    return 1;
}

constexpr int MIN_RETRY_PAUSE_MS = 50;
constexpr int MAX_GAP_MS = 10000;  // the options' limit of request_gap_ms

}  // namespace

bool says_absent(const std::exception& failure) noexcept {
    const auto* refusal = dynamic_cast<const ModbusException*>(&failure);
    return refusal != nullptr && refusal->says_absent();
}

std::vector<uint8_t> ModbusTcpClient::transact(const std::vector<uint8_t>& pdu, uint8_t unit) {
    ++transaction_id_;
    struct TurnGuard {
        MachineTurns* turns;
        ~TurnGuard() {
            if (turns != nullptr) turns->give_up(Clock::now());
        }
    } turn{nullptr};
    Clock::time_point send_from = next_request_from_;
    if (turns_) {
        if (!turns_->take(wait_end())) {
            time_up("no turn at " + endpoint() + " within " + std::to_string(timeout_ms_) +
                    " ms: another kolvane program holds it");
        }
        turn.turns = turns_.get();
        if (request_gap_ms_ > 0) {
            send_from = std::max(send_from,
                                 turns_->last_reply() + std::chrono::milliseconds(request_gap_ms_));
        }
    }
    struct PortGuard {  // closed before the turn is given up
        ModbusTcpClient* client;
        ~PortGuard() {
            if (client != nullptr) client->close_socket();
        }
    } port{nullptr};
    if (port_per_turn_) {
        fd_ = open_serial_port(host_, baud_, parity_, stop_bits_);
        port.client = this;
        line_quiet_from_ = Clock::now();
    }
    // A wait for the gap that reaches the deadline ends in send_all, before anything is sent.
    wait_until(send_from);
    std::vector<uint8_t> response = rtu_ ? rtu_exchange(pdu, unit) : tcp_exchange(pdu, unit);
    start_request_gap();  // the reply has ended, whatever it says
    return response;
}

std::vector<uint8_t> ModbusTcpClient::tcp_exchange(const std::vector<uint8_t>& pdu, uint8_t unit) {
    std::vector<uint8_t> frame;
    frame.reserve(MBAP_SIZE + pdu.size());
    put_be16(frame, transaction_id_);
    put_be16(frame, 0);
    put_be16(frame, uint16_t(pdu.size() + 1));
    frame.push_back(unit);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    send_all(frame.data(), frame.size());

    // A reply to an earlier request that timed out may still arrive: it is read whole and
    // dropped, so that its values are never taken for this request's. A peer that only ever
    // sends stale frames must not hold the call past one time limit.
    const std::string timeout_message = no_reply(unit);
    const Clock::time_point end = wait_end();
    std::vector<uint8_t> response;
    for (;;) {
        const uint16_t id = receive_frame(response, timeout_message);
        if (id == transaction_id_) break;
        if (Clock::now() >= end) time_up(timeout_message);
        if (log_enabled()) {
            log_msg(LogLevel::Debug, "Discarded a reply with transaction id " + std::to_string(id) +
                                         " while waiting for " + std::to_string(transaction_id_));
        }
    }
    return response;
}

void ModbusTcpClient::refused(int code, int tries, uint8_t unit, bool write) const {
    if (code == 6 || (code == 5 && !write)) {
        const int suggested =
            std::min(MAX_GAP_MS, std::max(MIN_RETRY_PAUSE_MS, 2 * request_gap_ms_));
        throw ModbusException(code, "gateway " + endpoint() + " busy after " +
                                        std::to_string(tries) + (tries == 1 ? " try" : " tries") +
                                        ": set gap=" + std::to_string(suggested));
    }
    if (code == 11) {
        throw ModbusException(
            code, "no meter answered at unit " + std::to_string(unit) + " behind " + endpoint());
    }
    throw ModbusException(code, "Modbus exception " + std::to_string(code));
}

std::vector<uint8_t> ModbusTcpClient::request(const std::vector<uint8_t>& pdu, uint8_t unit) {
    if (fd_ < 0 && !(port_per_turn_ && turns_)) throw TransportError("Socket not connected");
    const bool write = !pdu.empty() && (pdu[0] == 0x06 || pdu[0] == 0x10);
    if (rtu_ && unit == 0 && !write) {
        fail("unit 0 is the broadcast address of an RTU line: no meter answers a read there");
    }
    for (int attempt = 1;; ++attempt) {
        std::vector<uint8_t> response = transact(pdu, unit);
        if (response.empty() || (response[0] & 0x80) == 0) return response;
        const int code = response.size() >= 2 ? response[1] : -1;
        const int allowed = tries_for(code, write, tries_);
        if (attempt >= allowed) refused(code, attempt, unit, write);
        // Each pause doubles, from the request gap or 50 ms; one that would pass the deadline is
        // not waited for: the answer is known by then.
        const auto pause = std::chrono::milliseconds(
            int64_t(std::max(request_gap_ms_, MIN_RETRY_PAUSE_MS)) << std::min(attempt - 1, 10));
        const Clock::time_point retry_at = Clock::now() + pause;
        if (deadline_ms_ > 0 && retry_at >= call_deadline_) refused(code, attempt, unit, write);
        next_request_from_ = std::max(next_request_from_, retry_at);
        if (log_enabled()) {
            log_msg(LogLevel::Info, "Retry " + std::to_string(attempt) + " of " +
                                        std::to_string(allowed - 1) + ": " + endpoint() + " unit " +
                                        std::to_string(unit) + " answered Modbus exception " +
                                        std::to_string(code));
        }
    }
}

std::vector<uint16_t> ModbusTcpClient::read_holding_registers(uint16_t start, uint16_t quantity,
                                                              int unit) {
    std::vector<uint8_t> pdu{0x03};
    put_be16(pdu, start);
    put_be16(pdu, quantity);
    const uint8_t target = unit < 0 ? unit_id_ : uint8_t(unit & 0xFF);
    const std::vector<uint8_t> response = request(pdu, target);
    if (response.size() < 2 || response[0] != 0x03) fail("Invalid read response");
    const size_t byte_count = response[1];
    if (byte_count != response.size() - 2 || byte_count != 2u * quantity) {
        fail("Malformed read response length");
    }
    std::vector<uint16_t> values(quantity);
    for (size_t i = 0; i < quantity; ++i) values[i] = be16(response.data() + 2 + 2 * i);
    return values;
}

void ModbusTcpClient::write_single_register(uint16_t address, uint16_t value) {
    std::vector<uint8_t> pdu{0x06};
    put_be16(pdu, address);
    put_be16(pdu, value);
    const std::vector<uint8_t> response = request(pdu, unit_id_);
    if (response.size() != 5 || response[0] != 0x06) fail("Invalid write single response");
}

void ModbusTcpClient::write_multiple_registers(uint16_t start,
                                               const std::vector<uint16_t>& values) {
    std::vector<uint8_t> pdu{0x10};
    put_be16(pdu, start);
    put_be16(pdu, uint16_t(values.size()));
    pdu.push_back(uint8_t((2 * values.size()) & 0xFF));
    for (const uint16_t value : values) put_be16(pdu, value);
    const std::vector<uint8_t> response = request(pdu, unit_id_);
    if (response.size() != 5 || response[0] != 0x10) fail("Invalid write multiple response");
}

std::vector<uint16_t> read_words(ModbusTcpClient& client, uint16_t start, uint16_t count) {
    constexpr uint16_t CHUNK = 120;
    std::vector<uint16_t> words;
    words.reserve(count);
    uint16_t address = start;
    uint16_t remaining = count;
    while (remaining > 0) {
        const uint16_t n = std::min(remaining, CHUNK);
        const std::vector<uint16_t> chunk = client.read_holding_registers(address, n, -1);
        words.insert(words.end(), chunk.begin(), chunk.end());
        address = uint16_t(address + n);
        remaining = uint16_t(remaining - n);
    }
    return words;
}

}  // namespace kolvane
