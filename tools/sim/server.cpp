// SPDX-License-Identifier: MIT
// The Modbus TCP server: listening, connections (one thread each), the bus they share, MBAP
// framing, request execution, fault application and the journal.
#include "internal.hpp"
#include "rtu_frame.hpp"
#include "socket_address.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ksim {

// ------------------------------------------------------------------ register space
void RegisterSpace::set(std::uint16_t a, const std::vector<std::uint16_t>& v) {
    for (std::size_t i = 0; i < v.size() && a + i <= 0xFFFF; ++i)
        set(static_cast<std::uint16_t>(a + i), v[i]);
}
void RegisterSpace::erase(std::uint16_t a, std::size_t n) {
    for (std::size_t i = 0; i < n && a + i <= 0xFFFF; ++i) {
        present_[a + i] = 0;
        values_[a + i] = 0;
    }
}
void RegisterSpace::clear() {
    std::fill(values_.begin(), values_.end(), 0);
    std::fill(present_.begin(), present_.end(), 0);
}
bool RegisterSpace::has_all(std::uint32_t a, std::uint32_t n) const {
    if (a + n > 65536) return false;
    for (std::uint32_t i = 0; i < n; ++i)
        if (!present_[a + i]) return false;
    return true;
}

// ------------------------------------------------------------------ helpers
namespace {

std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
void put16(std::vector<std::uint8_t>& v, std::uint16_t x) {
    v.push_back(static_cast<std::uint8_t>(x >> 8));
    v.push_back(static_cast<std::uint8_t>(x & 0xFF));
}
std::vector<std::uint8_t> exception_pdu(std::uint8_t fc, std::uint8_t code) {
    return {static_cast<std::uint8_t>(fc | 0x80), code};
}
std::vector<std::uint8_t> frame(std::uint16_t tid, std::uint16_t proto, std::uint16_t length,
                                std::uint8_t unit, const std::vector<std::uint8_t>& pdu) {
    std::vector<std::uint8_t> f;
    f.reserve(7 + pdu.size());
    put16(f, tid);
    put16(f, proto);
    put16(f, length);
    f.push_back(unit);
    f.insert(f.end(), pdu.begin(), pdu.end());
    return f;
}

// Reads exactly n bytes; false on EOF, error or stop.
bool read_exact(int fd, int wake_fd, std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
        int rc = ::poll(p, 2, -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (p[1].revents) return false;
        ssize_t r = ::recv(fd, buf + got, n - got, 0);
        if (r == 0) return false;
        if (r < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// One non-blocking write: a socket without SIGPIPE, a serial device (opened non-blocking) plainly.
ssize_t write_some(const Link& link, const std::uint8_t* buf, std::size_t n) {
    return link.socket ? ::send(link.fd, buf, n, MSG_NOSIGNAL | MSG_DONTWAIT)
                       : ::write(link.fd, buf, n);
}

}  // namespace

// ------------------------------------------------------------------ Simulator: lifetime and server
Simulator::Simulator(Model model) : impl_(std::make_unique<Impl>(model)) {}
Simulator::Simulator(const Meter& meter) : impl_(std::make_unique<Impl>(meter.model)) {
    load(meter);
}
Simulator::~Simulator() { stop(); }

Model Simulator::model() const { return impl_->content.model; }
bool Simulator::running() const { return impl_->is_running; }
std::uint16_t Simulator::port() const { return impl_->mbap ? impl_->mbap->port : 0; }

std::string endpoint_text(const std::string& address, std::uint16_t port) {
    const bool ipv6 = address.find(':') != std::string::npos;
    return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::uint16_t Simulator::start(std::uint16_t port, const std::string& address) {
    Impl& s = *impl_;
    if (s.mbap && s.mbap->fd >= 0) throw std::runtime_error("ksim: simulator already running");
    return s.listen(s.mbap, port, address, Link{}).port;
}

void Simulator::Impl::begin_serving() {
    if (is_running) return;
    if (::pipe2(wake, O_CLOEXEC) != 0) throw std::runtime_error("ksim: pipe failed");
    stopping = false;
    is_running = true;
}

Listener& Simulator::Impl::listen(std::optional<Listener>& slot, std::uint16_t port,
                                  const std::string& address, const Link& link) {
    sockaddr_storage sa{};
    socklen_t size = socket_address(address, port, sa);
    if (size == 0) throw std::runtime_error("ksim: bad listen address " + address);
    int fd = ::socket(sa.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw std::runtime_error("ksim: socket failed");
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), size) != 0 || ::listen(fd, 64) != 0) {
        int e = errno;
        ::close(fd);
        throw std::runtime_error("ksim: cannot listen on " + endpoint_text(address, port) + ": " +
                                 std::strerror(e));
    }
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &size);
    try {
        begin_serving();
    } catch (...) {
        ::close(fd);
        throw;
    }
    Listener& l = slot.emplace();
    l.fd = fd;
    l.link = link;
    l.port = ntohs(sa.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&sa)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&sa)->sin_port);
    l.thread = std::thread([this, &l] { accept_loop(l); });
    return l;
}

void Simulator::stop() {
    Impl& s = *impl_;
    if (!s.is_running) return;
    {
        std::lock_guard<std::mutex> lk(s.mu);
        s.stopping = true;
        s.cv.notify_all();
    }
    [[maybe_unused]] ssize_t w = ::write(s.wake[1], "x", 1);
    for (std::optional<Listener>* l : {&s.mbap, &s.rtu_tcp})
        if (*l && (*l)->thread.joinable()) (*l)->thread.join();
    if (s.serial_thread.joinable()) s.serial_thread.join();
    {
        std::lock_guard<std::mutex> lk(s.conn_mu);
        for (auto& c : s.conns)
            if (c.link.fd >= 0) ::shutdown(c.link.fd, SHUT_RDWR);
    }
    for (auto& c : s.conns)
        if (c.thread.joinable()) c.thread.join();
    s.conns.clear();
    for (std::optional<Listener>* l : {&s.mbap, &s.rtu_tcp}) {
        if (*l && (*l)->fd >= 0) ::close((*l)->fd);
        if (*l) (*l)->fd = -1;
    }
    if (s.serial) ::close(s.serial->fd);
    s.serial.reset();
    ::close(s.wake[0]);
    ::close(s.wake[1]);
    s.wake[0] = s.wake[1] = -1;
    s.is_running = false;
    s.stopping = false;
}

std::size_t Simulator::Impl::live_connections() const {
    std::size_t live = 0;
    for (const Connection& c : conns) {
        if (c.done || c.link.fd < 0) continue;
        pollfd p{c.link.fd, POLLRDHUP, 0};
        if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) continue;
        ++live;
    }
    return live;
}

void Simulator::Impl::accept_loop(Listener& listener) {
    for (;;) {
        pollfd p[2] = {{listener.fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        int rc = ::poll(p, 2, -1);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0 || p[1].revents || stopping) return;
        int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> conn_lock(conn_mu);
        for (auto it = conns.begin(); it != conns.end();) {
            if (it->done) {
                it->thread.join();
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
        const std::size_t live = live_connections();
        std::uint64_t number;
        bool refused;
        {
            std::lock_guard<std::mutex> lk(mu);
            number = ++accepted;
            refused = max_connections > 0 && live >= max_connections;
            if (!refused) {
                ++open;
                open_peak = std::max(open_peak, live + 1);
            }
            cv.notify_all();
        }
        if (refused) {  // as a gateway does: accepted, closed at once, nothing read
            ::close(fd);
            continue;
        }
        conns.emplace_back();
        Connection* c = &conns.back();
        c->link = listener.link;
        c->link.fd = fd;
        c->thread = std::thread([this, c, number] { serve(c, number); });
    }
}

bool Simulator::Impl::sleep_for(std::chrono::nanoseconds d) {
    return sleep_until(std::chrono::steady_clock::now() + d);
}

bool Simulator::Impl::sleep_until(std::chrono::steady_clock::time_point t) {
    std::unique_lock<std::mutex> lk(mu);
    return !cv.wait_until(lk, t, [this] { return stopping.load(); });
}

void Simulator::Impl::serve(Connection* c, std::uint64_t number) {
    if (c->link.wire == Wire::rtu)
        serve_rtu(c->link, number);
    else
        serve_mbap(c->link, number);
    {
        std::lock_guard<std::mutex> lk(conn_mu);
        ::shutdown(c->link.fd, SHUT_RDWR);
        ::close(c->link.fd);
        c->link.fd = -1;
        c->done = true;
    }
    std::lock_guard<std::mutex> lk(mu);
    --open;
    cv.notify_all();
}

void Simulator::Impl::serve_mbap(const Link& link, std::uint64_t number) {
    for (;;) {
        std::uint8_t h[7];
        if (!read_exact(link.fd, wake[0], h, 7)) return;
        std::uint16_t len = be16(h + 4);
        if (len < 2 || len > 1024) return;  // not a Modbus frame: drop the connection
        std::vector<std::uint8_t> pdu(len - 1u);
        if (!read_exact(link.fd, wake[0], pdu.data(), pdu.size())) return;
        Request request =
            decode_request(number, be16(h), h[6], pdu, std::chrono::steady_clock::now());
        if (!answer(link, std::move(request), be16(h + 2))) return;
    }
}

bool Simulator::Impl::send_all(const Link& link, const std::uint8_t* buf, std::size_t n) {
    std::size_t sent = 0;
    while (sent < n) {
        const ssize_t r = write_some(link, buf + sent, n - sent);
        if (r >= 0) {
            sent += static_cast<std::size_t>(r);
            continue;
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd p[2] = {{link.fd, POLLOUT, 0}, {wake[0], POLLIN, 0}};  // full: wait for room
        if (::poll(p, 2, -1) < 0 && errno != EINTR) return false;
        if (p[1].revents) return false;
    }
    return true;
}

bool Simulator::Impl::send_paced(const Link& link, const std::uint8_t* buf, std::size_t n) {
    if (link.char_time.count() == 0) return send_all(link, buf, n);
    // A byte goes out once the line would have carried it whole.
    const auto begin = std::chrono::steady_clock::now();
    std::size_t sent = 0;
    while (sent < n) {
        const auto carried =
            static_cast<std::size_t>((std::chrono::steady_clock::now() - begin) / link.char_time);
        const std::size_t due = std::min(n, carried);
        if (due > sent) {
            if (!send_all(link, buf + sent, due - sent)) return false;
            sent = due;
        } else if (!sleep_until(begin + link.char_time * static_cast<long>(sent + 1))) {
            return false;
        }
    }
    return true;
}

bool Simulator::Impl::answer(const Link& link, Request request, std::uint16_t protocol) {
    std::unique_lock<std::mutex> bus(bus_mu);
    if (stopping) return false;
    Outcome o = process(std::move(request), link.wire, protocol);
    bool ok = o.kind != Outcome::Kind::close;
    const std::uint8_t* last_byte = nullptr;
    if (o.kind == Outcome::Kind::send) {
        if (o.latency.count() > 0 && !sleep_for(o.latency)) return false;
        // A fault's own pacing is the meter's, not the bus's: other connections go on meanwhile.
        if (o.delay.count() > 0 || o.trickled) bus.unlock();
        if (o.delay.count() > 0 && !sleep_for(o.delay)) return false;
        if (link.frame_gap.count() > 0 && !sleep_for(link.frame_gap)) return false;
        if (!o.stale.empty()) ok = send_paced(link, o.stale.data(), o.stale.size());
        const std::size_t n = std::min(o.limit, o.bytes.size());
        const bool whole = n > 0 && n == o.bytes.size();
        const std::size_t head = whole ? n - 1 : n;  // a whole reply's last byte: note_answer
        if (ok && o.trickled) {
            for (std::size_t i = 0; i < head && ok; ++i) {
                ok = send_paced(link, o.bytes.data() + i, 1);
                if (ok && i + 1 < n) ok = sleep_for(o.trickle);
            }
        } else if (ok) {
            ok = send_paced(link, o.bytes.data(), head);
        }
        if (ok && whole) last_byte = &o.bytes.back();
    }
    ok = note_answer(link, o, last_byte) && ok;
    if (bus.owns_lock()) bus.unlock();
    return ok && !o.close_after;
}

bool Simulator::Impl::note_answer(const Link& link, Outcome& o, const std::uint8_t* last_byte) {
    std::shared_ptr<const std::function<void(const Request&)>> notify;
    bool ok = true;
    // On a line the last byte too takes its time.
    if (last_byte && link.char_time.count() > 0) ok = sleep_for(link.char_time);
    {
        // The last byte goes out under the lock: a client that has the whole reply finds its
        // answered time in the journal.
        std::unique_lock<std::mutex> lk(mu);
        if (last_byte && ok) {
            const ssize_t sent = write_some(link, last_byte, 1);
            if (sent != 1 && (errno == EAGAIN || errno == EINTR)) {  // a full socket: not locked
                lk.unlock();
                ok = send_all(link, last_byte, 1);
                lk.lock();
            } else {
                ok = sent == 1;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (o.kind == Outcome::Kind::send) last_reply = now;
        if (last_byte && ok) {
            o.request.answered = now;
            const std::uint64_t dropped = journaled - journal.size();  // by clear_journal()
            if (o.journal_number && *o.journal_number >= dropped)
                journal[*o.journal_number - dropped].answered = now;
        }
        notify = observer;
    }
    if (notify) (*notify)(o.request);
    return ok;
}

// ------------------------------------------------------------------ request processing
Request decode_request(std::uint64_t connection, std::uint16_t transaction_id, std::uint8_t unit,
                       const std::vector<std::uint8_t>& pdu,
                       std::chrono::steady_clock::time_point received) {
    Request request;
    request.connection = connection;
    request.received = received;
    request.transaction_id = transaction_id;
    request.unit = unit;
    request.pdu = pdu;
    request.function = pdu.empty() ? 0 : pdu[0];
    if (pdu.size() >= 5) {
        request.address = be16(&pdu[1]);
        if (request.function == 6) {
            request.quantity = 1;
            request.values.push_back(be16(&pdu[3]));
        } else {
            request.quantity = be16(&pdu[3]);
        }
    }
    if (request.function == 16 && pdu.size() >= 6) {
        const std::size_t carried = (pdu.size() - 6) / 2;
        const std::size_t count = std::min<std::size_t>(request.quantity, carried);
        for (std::size_t i = 0; i < count; ++i) request.values.push_back(be16(&pdu[6 + 2 * i]));
    }
    return request;
}

namespace {

// A reply PDU framed for the wire: an MBAP header (transaction id, protocol, length, unit), or
// the RTU address and CRC, which need neither transaction id nor length.
std::vector<std::uint8_t> framed(Wire wire, std::uint16_t tid, std::uint16_t protocol,
                                 std::uint16_t length, std::uint8_t unit,
                                 const std::vector<std::uint8_t>& pdu) {
    return wire == Wire::rtu ? rtu_frame(unit, pdu) : frame(tid, protocol, length, unit, pdu);
}

// A stale copy of a reply: for a read, its values replaced by `fill` or their complement.
std::vector<std::uint8_t> stale_copy(std::vector<std::uint8_t> reply, const Fault& fault) {
    if (reply.size() >= 2 && reply[0] == 3) {
        for (std::size_t i = 2; i + 1 < reply.size(); i += 2) {
            const std::uint16_t value =
                fault.fill ? *fault.fill : static_cast<std::uint16_t>(~be16(&reply[i]));
            reply[i] = static_cast<std::uint8_t>(value >> 8);
            reply[i + 1] = static_cast<std::uint8_t>(value & 0xFF);
        }
    }
    return reply;
}

}  // namespace

const Fault* Simulator::Impl::due_fault(const Request& request) {
    for (auto& rule : faults) {
        if (!fault_filter(rule.fault, request)) continue;
        ++rule.seen;
        if (rule.seen <= rule.fault.skip_count) continue;
        if (rule.fault.times_count >= 0 && rule.fired >= rule.fault.times_count) continue;
        ++rule.fired;
        return &rule.fault;
    }
    return nullptr;
}

Outcome Simulator::Impl::process(Request request, Wire wire, std::uint16_t protocol) {
    Outcome outcome;
    outcome.request = std::move(request);
    std::lock_guard<std::mutex> lock(mu);
    ++requests;
    if (wire == Wire::mbap || rtu_heard(outcome.request)) respond(outcome, wire, protocol);
    if (outcome.kind == Outcome::Kind::send) outcome.latency = latency;
    if (journal_enabled) {
        outcome.journal_number = journaled++;
        journal.push_back(outcome.request);
        cv.notify_all();
    }
    return outcome;
}

void Simulator::Impl::respond(Outcome& outcome, Wire wire, std::uint16_t protocol) {
    Request& request = outcome.request;
    auto reply = [&](const std::vector<std::uint8_t>& reply_pdu) {
        outcome.kind = Outcome::Kind::send;
        outcome.bytes =
            framed(wire, request.transaction_id, protocol,
                   static_cast<std::uint16_t>(reply_pdu.size() + 1), request.unit, reply_pdu);
        if (reply_pdu.size() >= 2 && (reply_pdu[0] & 0x80)) request.exception = reply_pdu[1];
    };
    // A gateway wants a pause between requests; one that comes too soon is not passed on.
    if (min_gap.count() > 0 && last_reply && request.received < *last_reply + min_gap) {
        reply(exception_pdu(request.function, 6));
        return;
    }
    if (only_unit && request.unit != *only_unit) {
        if (unit_exception11) reply(exception_pdu(request.function, 11));
        return;
    }

    const Fault* fault = due_fault(request);
    if (!fault) {
        reply(execute(request));
        return;
    }
    // Faults that replace the reply: the request is not executed.
    switch (fault->kind) {
        case Fault::Kind::exception:
            reply(exception_pdu(request.function, fault->code));
            return;
        case Fault::Kind::no_reply:
            return;
        case Fault::Kind::close:
            outcome.kind = Outcome::Kind::close;
            return;
        case Fault::Kind::raw:
            outcome.kind = Outcome::Kind::send;
            outcome.bytes = fault->bytes;
            return;
        case Fault::Kind::pdu: {
            const auto length = fault->length_override >= 0
                                    ? static_cast<std::uint16_t>(fault->length_override)
                                    : static_cast<std::uint16_t>(fault->bytes.size() + 1);
            outcome.kind = Outcome::Kind::send;
            outcome.bytes =
                framed(wire, request.transaction_id, 0, length, request.unit, fault->bytes);
            return;
        }
        default:
            break;
    }
    // Faults that shape the delivery of the real reply.
    const std::vector<std::uint8_t> real = execute(request);
    reply(real);
    switch (fault->kind) {
        case Fault::Kind::delay:
            outcome.delay = fault->duration;
            break;
        case Fault::Kind::close_after_bytes:
            outcome.limit = fault->byte_count;
            outcome.close_after = true;
            break;
        case Fault::Kind::trickle:
            outcome.trickled = true;
            outcome.trickle = fault->duration;
            break;
        case Fault::Kind::late_reply: {
            const std::vector<std::uint8_t> old = stale_copy(real, *fault);
            outcome.stale =
                framed(wire, static_cast<std::uint16_t>(request.transaction_id + fault->tid_delta),
                       protocol, static_cast<std::uint16_t>(old.size() + 1), request.unit, old);
            break;
        }
        case Fault::Kind::bad_crc:  // a Modbus TCP frame has no CRC to spoil
            if (wire == Wire::rtu) {
                outcome.bytes[outcome.bytes.size() - 2] ^= 0xFF;
                outcome.bytes.back() ^= 0xFF;
            }
            break;
        default:
            break;
    }
}

std::vector<std::uint8_t> Simulator::Impl::execute(const Request& request) {
    if (units.empty()) return content.execute(request);
    const auto unit = units.find(request.unit);
    // What a gateway answers for a unit id no meter on its bus has.
    if (unit == units.end()) return exception_pdu(request.function, 11);
    return unit->second.execute(request);
}

std::vector<std::uint8_t> MeterContent::execute(const Request& r) {
    const std::uint8_t fc = r.function;
    const std::size_t size = r.pdu.size();
    if (fc == 3) {
        if (size != 5 || r.quantity < 1 || r.quantity > 125) return exception_pdu(fc, 3);
        std::uint32_t a = r.address, n = r.quantity;
        if (a + n > 65536) return exception_pdu(fc, 2);
        if (std::uint8_t e = window_read_check(a, n)) return exception_pdu(fc, e);
        if (!regs.has_all(a, n)) return exception_pdu(fc, 2);
        std::vector<std::uint8_t> p{3, static_cast<std::uint8_t>(2 * n)};
        for (std::uint32_t i = 0; i < n; ++i) put16(p, regs.get(static_cast<std::uint16_t>(a + i)));
        return p;
    }
    if (fc == 6) {
        if (size != 5) return exception_pdu(fc, 3);
        if (std::uint8_t e = window_write(r.address, 6, r.values)) return exception_pdu(fc, e);
        return r.pdu;
    }
    if (fc == 16) {
        if (size < 6 || r.quantity < 1 || r.quantity > 123 || r.pdu[5] != 2 * r.quantity ||
            size != 6u + r.pdu[5])
            return exception_pdu(fc, 3);
        if (static_cast<std::uint32_t>(r.address) + r.quantity > 65536) return exception_pdu(fc, 2);
        if (std::uint8_t e = window_write(r.address, 16, r.values)) return exception_pdu(fc, e);
        std::vector<std::uint8_t> p{16};
        put16(p, r.address);
        put16(p, r.quantity);
        return p;
    }
    return exception_pdu(fc, 1);
}

// ------------------------------------------------------------------ unit, faults, journal
void Simulator::answer_only_unit(std::optional<std::uint8_t> unit, bool exception11) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->only_unit = unit;
    impl_->unit_exception11 = exception11;
}

void Simulator::add_fault(const Fault& fault) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->faults.push_back(FaultState{fault, 0, 0});
}
void Simulator::clear_faults() {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->faults.clear();
}
int Simulator::fault_hits(std::size_t index) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return index < impl_->faults.size() ? impl_->faults[index].fired : 0;
}

std::vector<Request> Simulator::journal() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->journal;
}
std::size_t Simulator::journal_size() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->journal.size();
}
void Simulator::clear_journal() {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->journal.clear();
}
void Simulator::set_journal_enabled(bool enabled) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->journal_enabled = enabled;
}
std::size_t Simulator::requests_received() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->requests;
}
bool Simulator::wait_for_requests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lk(impl_->mu);
    return impl_->cv.wait_for(lk, timeout, [&] { return impl_->journal.size() >= n; });
}
std::size_t Simulator::connections_accepted() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->accepted;
}
std::size_t Simulator::open_connections() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->open;
}
std::size_t Simulator::max_open_connections() const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->open_peak;
}
bool Simulator::wait_for_connections(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lk(impl_->mu);
    return impl_->cv.wait_for(lk, timeout, [&] { return impl_->accepted >= n; });
}
bool Simulator::wait_until_idle(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lk(impl_->mu);
    return impl_->cv.wait_for(lk, timeout, [&] { return impl_->open == 0; });
}

}  // namespace ksim
