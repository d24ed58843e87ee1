// SPDX-License-Identifier: MIT
// A tiny raw Modbus TCP client for the simulator's own tests (deliberately not the kolvane
// library).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "socket_address.hpp"

namespace ktest {

using Bytes = std::vector<std::uint8_t>;

struct Frame {
    std::uint16_t tid = 0, proto = 0, length = 0;
    std::uint8_t unit = 0;
    Bytes pdu;
    bool is_exception() const { return !pdu.empty() && (pdu[0] & 0x80); }
    std::uint8_t exception_code() const { return pdu.size() >= 2 ? pdu[1] : 0; }
    std::vector<std::uint16_t> regs() const {  // values of a read reply
        std::vector<std::uint16_t> v;
        for (std::size_t i = 2; i + 1 < pdu.size(); i += 2)
            v.push_back(static_cast<std::uint16_t>(pdu[i] << 8 | pdu[i + 1]));
        return v;
    }
};

inline Bytes pdu_read(std::uint16_t addr, std::uint16_t qty) {
    return {3, static_cast<std::uint8_t>(addr >> 8), static_cast<std::uint8_t>(addr),
            static_cast<std::uint8_t>(qty >> 8), static_cast<std::uint8_t>(qty)};
}
inline Bytes pdu_write1(std::uint16_t addr, std::uint16_t v) {
    return {6, static_cast<std::uint8_t>(addr >> 8), static_cast<std::uint8_t>(addr),
            static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}
inline Bytes pdu_writen(std::uint16_t addr, const std::vector<std::uint16_t>& v) {
    Bytes p{16,
            static_cast<std::uint8_t>(addr >> 8),
            static_cast<std::uint8_t>(addr),
            static_cast<std::uint8_t>(v.size() >> 8),
            static_cast<std::uint8_t>(v.size()),
            static_cast<std::uint8_t>(2 * v.size())};
    for (auto x : v) {
        p.push_back(static_cast<std::uint8_t>(x >> 8));
        p.push_back(static_cast<std::uint8_t>(x));
    }
    return p;
}

class RawClient {
public:
    // Connects to `address` (an IPv4 or IPv6 loopback literal) on `port`.
    explicit RawClient(std::uint16_t port, const std::string& address = "127.0.0.1") {
        sockaddr_storage sa{};
        const socklen_t size = ksim::socket_address(address, port, sa);
        if (size == 0) throw std::runtime_error("bad address " + address);
        fd_ = ::socket(sa.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), size) != 0) {
            if (fd_ >= 0) ::close(fd_);
            throw std::runtime_error("connect failed");
        }
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    void close() {
        ::close(fd_);
        fd_ = -1;
    }
    void send_bytes(const Bytes& b) { ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL); }
    void send_request(std::uint16_t tid, const Bytes& pdu, std::uint8_t unit = 1) {
        Bytes f{static_cast<std::uint8_t>(tid >> 8),
                static_cast<std::uint8_t>(tid),
                0,
                0,
                static_cast<std::uint8_t>((pdu.size() + 1) >> 8),
                static_cast<std::uint8_t>(pdu.size() + 1),
                unit};
        f.insert(f.end(), pdu.begin(), pdu.end());
        send_bytes(f);
    }
    // Up to n bytes within the timeout (fewer on EOF or timeout).
    Bytes recv_bytes(std::size_t n, int timeout_ms = 2000) {
        Bytes out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (out.size() < n) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            end - std::chrono::steady_clock::now())
                                            .count());
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, left) <= 0) break;
            std::uint8_t buf[512];
            ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
            if (r <= 0) {
                eof_ = true;
                break;
            }
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    std::optional<Frame> recv_frame(int timeout_ms = 2000) {
        Bytes h = recv_bytes(7, timeout_ms);
        if (h.size() < 7) return std::nullopt;
        Frame f;
        f.tid = static_cast<std::uint16_t>(h[0] << 8 | h[1]);
        f.proto = static_cast<std::uint16_t>(h[2] << 8 | h[3]);
        f.length = static_cast<std::uint16_t>(h[4] << 8 | h[5]);
        f.unit = h[6];
        if (f.length >= 1) f.pdu = recv_bytes(f.length - 1u, timeout_ms);
        return f;
    }
    // True when the peer closed the connection (recv gives 0) within the timeout.
    bool peer_closed(int timeout_ms = 2000) {
        if (eof_) return true;
        Bytes b = recv_bytes(1, timeout_ms);
        return b.empty() && eof_;
    }
    Frame call(std::uint16_t tid, const Bytes& pdu, std::uint8_t unit = 1) {
        send_request(tid, pdu, unit);
        auto f = recv_frame();
        if (!f) throw std::runtime_error("no reply");
        return *f;
    }
    std::vector<std::uint16_t> read(std::uint16_t addr, std::uint16_t qty) {
        Frame f = call(next_tid_++, pdu_read(addr, qty));
        if (f.is_exception())
            throw std::runtime_error("exception " + std::to_string(f.exception_code()));
        return f.regs();
    }
    Frame write1(std::uint16_t addr, std::uint16_t v) {
        return call(next_tid_++, pdu_write1(addr, v));
    }
    Frame writen(std::uint16_t addr, const std::vector<std::uint16_t>& v) {
        return call(next_tid_++, pdu_writen(addr, v));
    }

private:
    int fd_ = -1;
    bool eof_ = false;
    std::uint16_t next_tid_ = 100;
};

}  // namespace ktest
