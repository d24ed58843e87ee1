// SPDX-License-Identifier: MIT
// The client side of the simulator's RTU tests, written apart from the simulator: a CRC by table
// and the two ways to the meters (a tty of a socat pair from support/pty_pair.hpp, RTU over TCP).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "raw_client.hpp"
#include "support/pty_pair.hpp"

namespace ktest {

// CRC-16/Modbus by a 256-entry table.
inline std::uint16_t modbus_crc(const Bytes& bytes, std::size_t n) {
    static const std::array<std::uint16_t, 256> table = [] {
        std::array<std::uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned v = i;
            for (int k = 0; k < 8; ++k) v = (v >> 1) ^ ((v & 1u) ? 0xA001u : 0u);
            t[i] = static_cast<std::uint16_t>(v);
        }
        return t;
    }();
    unsigned crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    return static_cast<std::uint16_t>(crc);
}

// `body` (unit address and PDU) with its CRC, low byte first.
inline Bytes with_crc(Bytes body) {
    const std::uint16_t crc = modbus_crc(body, body.size());
    body.push_back(static_cast<std::uint8_t>(crc));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

inline bool crc_matches(const Bytes& frame) {
    return frame.size() >= 4 && with_crc(Bytes(frame.begin(), frame.end() - 2)) == frame;
}

// A request frame: unit address, PDU, CRC.
inline Bytes rtu_request(std::uint8_t unit, const Bytes& pdu) {
    Bytes body{unit};
    body.insert(body.end(), pdu.begin(), pdu.end());
    return with_crc(body);
}

// Where the test sends RTU frames and reads what comes back.
class RtuPort {
public:
    virtual ~RtuPort() = default;
    virtual void send(const Bytes& bytes) = 0;
    // Up to n bytes within the time-out (fewer when it runs out).
    virtual Bytes receive(std::size_t n, int timeout_ms = 2000) = 0;
    // A whole reply of `n` bytes to `request`.
    Bytes call(const Bytes& request, std::size_t n) {
        send(request);
        return receive(n);
    }
};

// The client end of a pseudo-terminal pair, set raw.
class TtyPort : public RtuPort {
public:
    explicit TtyPort(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~TtyPort() override { ::close(fd_); }
    void send(const Bytes& bytes) override {
        if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("tty write failed");
    }
    Bytes receive(std::size_t n, int timeout_ms) override {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            std::uint8_t buf[512];
            const ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

private:
    int fd_ = -1;
};

// RTU frames over a TCP connection.
class TcpRtuPort : public RtuPort {
public:
    explicit TcpRtuPort(std::uint16_t port) : client_(port) {}
    void send(const Bytes& bytes) override { client_.send_bytes(bytes); }
    Bytes receive(std::size_t n, int timeout_ms) override {
        return client_.recv_bytes(n, timeout_ms);
    }

private:
    RawClient client_;
};

}  // namespace ktest
