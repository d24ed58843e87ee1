// SPDX-License-Identifier: MIT
// The client side of the simulator's RTU tests, written apart from the simulator: a CRC by table,
// a pseudo-terminal pair made by socat, and the two ways to the meters (a tty, RTU over TCP).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
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
#include "support/temp_dir.hpp"

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

// Two linked pseudo-terminals made by a socat child: the simulator opens one end, the test the
// other. Throws when socat cannot start or its links do not appear, so the test fails.
class PtyPair {
public:
    PtyPair() {
        const std::string a = dir_.file("meter"), b = dir_.file("client");
        const std::string left = "pty,raw,echo=0,link=" + a;
        const std::string right = "pty,raw,echo=0,link=" + b;
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {  // only async-signal-safe calls from here on
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, 2);
            ::execlp("socat", "socat", left.c_str(), right.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (std::filesystem::exists(a) && std::filesystem::exists(b)) return;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("socat did not start (is it installed?)");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        stop();
        throw std::runtime_error("socat made no pseudo-terminals");
    }
    ~PtyPair() { stop(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    std::string meter_end() const { return dir_.file("meter"); }
    std::string client_end() const { return dir_.file("client"); }

private:
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    TempDir dir_;
    pid_t pid_ = -1;
};

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
