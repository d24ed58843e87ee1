// Loopback endpoints that refuse or never complete a connection.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace kfault {

inline sockaddr_in loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline uint16_t bound_port(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A port the kernel handed out and nobody listens on: connecting is refused.
inline uint16_t refusing_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const uint16_t port = bound_port(fd);
    ::close(fd);
    return port;
}

// A listener that never accepts, its queue (listen backlog 0) filled with connections until
// a new one no longer completes: a further connect waits until its time limit.
class FullBacklog {
public:
    FullBacklog() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in any = loopback(0);
        if (::bind(listener_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
            ::listen(listener_, 0) != 0) {
            return;
        }
        port_ = bound_port(listener_);
        const sockaddr_in target = loopback(port_);
        for (int i = 0; i < 32 && !full_; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            fillers_.push_back(fd);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) continue;
            if (errno != EINPROGRESS) return;
            pollfd entry{fd, POLLOUT, 0};
            full_ = ::poll(&entry, 1, 200) == 0;  // still pending: the queue is full
        }
    }
    ~FullBacklog() {
        for (const int fd : fillers_) ::close(fd);
        ::close(listener_);
    }
    FullBacklog(const FullBacklog&) = delete;
    FullBacklog& operator=(const FullBacklog&) = delete;

    bool full() const { return full_; }
    uint16_t port() const { return port_; }

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

}  // namespace kfault
