// SPDX-License-Identifier: MIT
// The floor: the same round trips over a plain socket, with no processing at all.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "traffic.hpp"

namespace kbench {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

struct Frame {
    std::vector<std::uint8_t> request;
    std::size_t reply_size;
};

Frame frame(const Transaction& t, std::uint16_t id) {
    std::vector<std::uint8_t> pdu{t.function};
    put16(pdu, t.address);
    if (t.function == 3) put16(pdu, t.quantity);
    if (t.function == 6) put16(pdu, t.values.at(0));
    if (t.function == 16) {
        put16(pdu, std::uint16_t(t.values.size()));
        pdu.push_back(std::uint8_t(2 * t.values.size()));
        for (const std::uint16_t v : t.values) put16(pdu, v);
    }
    Frame f;
    put16(f.request, id);
    put16(f.request, 0);
    put16(f.request, std::uint16_t(pdu.size() + 1));
    f.request.push_back(1);
    f.request.insert(f.request.end(), pdu.begin(), pdu.end());
    f.reply_size = t.function == 3 ? 9u + 2u * t.quantity : 12u;
    return f;
}

class Socket {
public:
    explicit Socket(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("raw client: cannot connect");
        }
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::uint64_t replay_raw(std::uint16_t port, const std::vector<Transaction>& traffic) {
    std::vector<Frame> frames;
    frames.reserve(traffic.size());
    for (std::size_t i = 0; i < traffic.size(); ++i)
        frames.push_back(frame(traffic[i], std::uint16_t(i + 1)));
    const Socket socket(port);
    std::uint8_t reply[260];
    std::uint64_t received = 0;
    for (const Frame& f : frames) {
        if (::send(socket.fd(), f.request.data(), f.request.size(), MSG_NOSIGNAL) !=
            ssize_t(f.request.size())) {
            throw std::runtime_error("raw client: send failed");
        }
        for (std::size_t got = 0; got < f.reply_size;) {
            const ssize_t n = ::recv(socket.fd(), reply + got, f.reply_size - got, 0);
            if (n <= 0) throw std::runtime_error("raw client: recv failed");
            got += std::size_t(n);
        }
        received += f.reply_size;
    }
    return received;
}

}  // namespace kbench
