// SPDX-License-Identifier: MIT
// Loopback ports that misbehave at connect time: one that refuses, one that never answers,
// one that was free a moment ago.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ktest {

inline sockaddr_in loopback_address(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A socket bound to a loopback port; `listening` decides whether connects are queued.
class BoundSocket {
public:
    explicit BoundSocket(bool listening, int backlog = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback_address(0);
        socklen_t size = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            (listening && ::listen(fd_, backlog) != 0) ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            throw std::runtime_error("cannot prepare a loopback socket");
        }
        port_ = ntohs(address.sin_port);
    }
    ~BoundSocket() { ::close(fd_); }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Bound but not listening: the kernel refuses every connect.
class RefusingPort : public BoundSocket {
public:
    RefusingPort() : BoundSocket(false) {}
};

// Listening with the smallest backlog and never accepting; once one connection fills the
// queue, further handshakes get no answer, so a connect only ends by its time limit.
class SilentPort : public BoundSocket {
public:
    SilentPort() : BoundSocket(true, 0) {
        for (int i = 0; i < 3; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            const sockaddr_in address = loopback_address(port());
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            fillers_.push_back(fd);
            if (i == 0) {  // the queue is full once the first handshake has completed
                pollfd entry{fd, POLLOUT, 0};
                ::poll(&entry, 1, 1000);
            }
        }
    }
    ~SilentPort() {
        for (const int fd : fillers_) ::close(fd);
    }

private:
    std::vector<int> fillers_;
};

// A loopback port the kernel handed out and that was released again: nothing listens there.
inline uint16_t closed_loopback_port() { return BoundSocket(false).port(); }

// The options text that points a call at a closed port.
inline std::string closed_port_options(int port) {
    return "{\"port\":" + std::to_string(port) + ",\"timeout_ms\":2000}";
}

}  // namespace ktest
