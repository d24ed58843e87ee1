// SPDX-License-Identifier: MIT
// The client's Modbus RTU exchanges: one frame at a time on a line that carries no transaction
// ids, so the line is emptied before each request and every reply is checked whole.
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ground/log.hpp"
#include "modbus/client.hpp"

namespace kolvane {

void ModbusTcpClient::serial_failed(int error) const {
    throw TransportError("serial port " + host_ + " failed: " + std::strerror(error));
}

void ModbusTcpClient::discard_input() noexcept {
    if (serial_) {
        ::tcflush(fd_, TCIFLUSH);
        return;
    }
    uint8_t sink[512];
    while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {}
}

void ModbusTcpClient::rtu_read(std::vector<uint8_t>& got, Clock::time_point end,
                               const std::string& timeout_message) {
    for (;;) {
        wait_ready(POLLIN, end, timeout_message);
        uint8_t bytes[512];
        const ssize_t n = ::read(fd_, bytes, sizeof bytes);
        if (n > 0) {
            got.insert(got.end(), bytes, bytes + n);
            line_quiet_from_ = Clock::now();
            return;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        // A tty that polls readable and reads nothing was hung up: the adapter is gone.
        if (serial_) serial_failed(n == 0 ? EIO : errno);
        throw TransportError("socket recv failed");
    }
}

std::vector<uint8_t> ModbusTcpClient::rtu_exchange(const std::vector<uint8_t>& pdu, uint8_t unit) {
    const std::vector<uint8_t> frame = rtu_frame(unit, pdu);
    // The meters take a pause shorter than 3.5 characters for the middle of a frame; whatever
    // came after an earlier time-out is no reply to this request.
    wait_until(line_quiet_from_ + line_.silence);
    discard_input();
    send_all(frame.data(), frame.size());
    const Clock::time_point sent = Clock::now() + line_.bytes(frame.size());
    line_quiet_from_ = sent;
    if (unit == 0) {  // a broadcast: every meter takes it, none answers
        wait_until(sent);
        return std::vector<uint8_t>(pdu.begin(), pdu.begin() + std::min<size_t>(pdu.size(), 5));
    }
    // The time-out counts from the request's last character and leaves the reply the time its
    // characters take on the line.
    const size_t echo_size = echo_ ? frame.size() : 0;
    Clock::time_point end = sent + std::chrono::milliseconds(timeout_ms_) +
                            line_.bytes(echo_size + rtu_expected_reply_size(pdu));
    if (deadline_ms_ > 0) end = std::min(end, call_deadline_);
    return rtu_reply(frame, end, no_reply(unit));
}

std::vector<uint8_t> ModbusTcpClient::rtu_reply(const std::vector<uint8_t>& request,
                                                Clock::time_point end,
                                                const std::string& timeout_message) {
    const uint8_t unit = request[0];
    const uint8_t function = request[1];
    const std::string from = endpoint() + " (unit " + std::to_string(unit) + ")";
    std::vector<uint8_t> got;
    if (echo_) {
        while (got.size() < request.size()) rtu_read(got, end, timeout_message);
        if (!std::equal(request.begin(), request.end(), got.begin())) {
            discard_input();
            throw TransportError("the echo of the request to " + from + " differs from it");
        }
        got.erase(got.begin(), got.begin() + std::ptrdiff_t(request.size()));
    }
    // An adapter that echoes unasked: a reply that begins with the whole request is its echo.
    // A read or a multiple write differs from its reply; a single write is its own reply.
    bool may_be_echo = !echo_ && (function == 0x03 || function == 0x10);
    size_t size = 0;
    for (;;) {
        while (got.size() < 3) rtu_read(got, end, timeout_message);
        size = rtu_reply_size(function, got.data());
        if (may_be_echo) {
            const size_t common = std::min(got.size(), request.size());
            may_be_echo =
                std::equal(got.begin(), got.begin() + std::ptrdiff_t(common), request.begin());
        }
        if (may_be_echo && got.size() >= request.size()) {
            got.erase(got.begin(), got.begin() + std::ptrdiff_t(request.size()));
            may_be_echo = false;
            if (log_enabled()) log_msg(LogLevel::Debug, "Dropped the echo of a request to " + from);
            continue;
        }
        // Still a part of the request: an echo, unless it already is a whole reply.
        const bool whole = size != 0 && got.size() >= size;
        if (may_be_echo && !(whole && rtu_crc_matches(got.data(), size))) {
            rtu_read(got, end, timeout_message);
            continue;
        }
        if (size == 0 || whole) break;
        rtu_read(got, end, timeout_message);
    }
    if (size == 0) {
        discard_input();
        throw std::runtime_error("Invalid reply function " + std::to_string(got[1]) + " from " +
                                 from);
    }
    if (!rtu_crc_matches(got.data(), size)) {
        // Noise on the line: no reply to trust, whatever its bytes say.
        discard_input();
        throw TransportError("reply from " + from + " failed its CRC check");
    }
    if (got[0] != unit) {
        throw std::runtime_error("reply from unit " + std::to_string(got[0]) + " to a request to " +
                                 from);
    }
    return std::vector<uint8_t>(got.begin() + 1, got.begin() + std::ptrdiff_t(size) - 2);
}

}  // namespace kolvane
