// SPDX-License-Identifier: MIT
// Modbus RTU: the meters on a serial line (a tty set raw) or behind a serial device server's
// transparent TCP port. Frames are read here; their execution and replies are the TCP server's.
#include "internal.hpp"
#include "rtu_frame.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ksim {

std::string rtu_line_text(const RtuLine& line) {
    return std::to_string(line.baud) + " 8" + line.parity + std::to_string(line.stop_bits) +
           (line.echo ? " echo" : "");
}

namespace {

// The termios speed of a baud rate; throws std::invalid_argument for a bad line.
speed_t checked_speed(const RtuLine& line) {
    if (line.parity != 'N' && line.parity != 'E' && line.parity != 'O')
        throw std::invalid_argument("ksim: parity must be 'N', 'E' or 'O'");
    if (line.stop_bits != 1 && line.stop_bits != 2)
        throw std::invalid_argument("ksim: stop bits must be 1 or 2");
    switch (line.baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            throw std::invalid_argument("ksim: no standard baud rate: " +
                                        std::to_string(line.baud));
    }
}

Link rtu_link(int fd, bool socket, const RtuLine& line) {
    return Link{fd, Wire::rtu, socket, rtu_char_time(line), rtu_frame_gap(line), line.echo};
}

// Raw 8-bit characters at the line's speed, parity and stop bits; false when the device refuses.
bool set_raw(int fd, const RtuLine& line, speed_t speed) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB);
    if (line.parity != 'N') t.c_cflag |= PARENB;
    if (line.parity == 'O') t.c_cflag |= PARODD;
    if (line.stop_bits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
    ::tcflush(fd, TCIOFLUSH);
    return true;
}

}  // namespace

std::uint16_t Simulator::start_rtu_tcp(std::uint16_t port, const std::string& address,
                                       const RtuLine& line) {
    Impl& s = *impl_;
    checked_speed(line);
    if (s.rtu_tcp && s.rtu_tcp->fd >= 0)
        throw std::runtime_error("ksim: already serving RTU over TCP");
    return s.listen(s.rtu_tcp, port, address, rtu_link(-1, true, line)).port;
}

std::uint16_t Simulator::rtu_tcp_port() const { return impl_->rtu_tcp ? impl_->rtu_tcp->port : 0; }

void Simulator::start_rtu_serial(const std::string& device, const RtuLine& line) {
    Impl& s = *impl_;
    const speed_t speed = checked_speed(line);
    if (s.serial) throw std::runtime_error("ksim: already serving a serial line");
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("ksim: cannot open " + device + ": " + std::strerror(errno));
    try {
        if (!set_raw(fd, line, speed))
            throw std::runtime_error("ksim: " + device +
                                     " is no serial device: " + std::strerror(errno));
        s.begin_serving();
    } catch (...) {
        ::close(fd);
        throw;
    }
    const Link link = rtu_link(fd, false, line);
    s.serial = link;
    s.serial_thread = std::thread([&s, link] { s.serve_rtu(link, 0); });
}

bool Simulator::Impl::rtu_heard(const Request& request) {
    if (request.bad_crc) return false;
    if (request.unit == 0) {  // a broadcast: every meter on the line writes, none answers
        if (request.function == 6 || request.function == 16) {
            if (units.empty()) content.execute(request);
            for (auto& unit : units) unit.second.execute(request);
        }
        return false;
    }
    if (only_unit && request.unit != *only_unit) return false;
    return units.empty() || units.count(request.unit) > 0;  // no meter there: silence
}

void Simulator::Impl::serve_rtu(const Link& link, std::uint64_t number) {
    // A pty or a TCP connection does not keep the line's timing: the bytes of one frame may come
    // apart by the scheduler's whim, so only a longer silence ends a frame or cuts it short.
    const auto silence =
        std::max<std::chrono::nanoseconds>(link.frame_gap, std::chrono::milliseconds(20));
    const int silence_ms =
        static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(silence).count());
    std::vector<std::uint8_t> pending;
    std::chrono::steady_clock::time_point first{};  // when pending's first byte came
    bool discarding = false;                        // after a bad frame, all until the next silence
    // Executes a whole frame; false when the connection is to end.
    auto take = [&](std::vector<std::uint8_t> bytes) {
        if (bytes.size() < 4) return true;  // line noise
        // The line carried the frame no sooner than its characters' time from the first one.
        if (!sleep_until(first + link.char_time * static_cast<long>(bytes.size()))) return false;
        // The adapter hears the request go out, whatever becomes of it.
        if (link.echo && !send_all(link, bytes.data(), bytes.size()) && link.socket) return false;
        const bool crc_ok = rtu_crc_ok(bytes);
        const std::uint8_t unit = bytes[0];
        bytes.erase(bytes.end() - 2, bytes.end());
        bytes.erase(bytes.begin());
        Request request = decode_request(number, 0, unit, bytes, std::chrono::steady_clock::now());
        request.bad_crc = !crc_ok;
        if (!crc_ok) {  // out of step with the frames: drop what follows until a silence
            pending.clear();
            discarding = true;
        }
        // A serial line cannot be closed: a fault's close leaves it as it is.
        return answer(link, std::move(request), 0) || (!link.socket && !stopping);
    };
    for (;;) {
        const auto length = rtu_request_length(pending);
        if (length && *length > 0 && pending.size() >= *length) {
            std::vector<std::uint8_t> bytes(pending.begin(),
                                            pending.begin() + static_cast<long>(*length));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(*length));
            const auto arrived = std::chrono::steady_clock::now();
            if (!take(std::move(bytes))) return;
            first = arrived;  // a request sent right behind
            continue;
        }
        pollfd p[2] = {{link.fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        const int rc = ::poll(p, 2, pending.empty() && !discarding ? -1 : silence_ms);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents || stopping) return;
        if (rc == 0) {  // silence: a frame of unknown length ends here, one cut short is dropped
            if (!discarding && length && *length == 0 && !take(std::move(pending))) return;
            pending.clear();
            discarding = false;
            continue;
        }
        std::uint8_t buf[512];
        const ssize_t r = ::read(link.fd, buf, sizeof buf);
        if (r == 0) return;  // the peer closed
        if (r < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;  // e.g. the other end of a pseudo-terminal went away
        }
        if (discarding) continue;
        if (pending.empty()) first = std::chrono::steady_clock::now();
        pending.insert(pending.end(), buf, buf + r);
        if (pending.size() > 256) {  // longer than any RTU frame: noise until silence
            pending.clear();
            discarding = true;
        }
    }
}

}  // namespace ksim
